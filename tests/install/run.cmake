# cmake -P run.cmake with BUILD_DIR, SOURCE_DIR, WORK, CXX, GENERATOR, EXPECT_GUI:
# installs the build into WORK/prefix, builds the program of tests/install/ against the
# installed package and runs it, then runs the installed testhost with an installed plug-in
# from a directory of its own, as a user would, and checks what it wrote.
cmake_minimum_required(VERSION 3.25)

function(step what)
  execute_process(${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
  message(STATUS "${what}: ok")
endfunction()

set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/run)

step("install" COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(program testhost midrankpar)
  if(NOT EXISTS ${prefix}/bin/${program})
    message(FATAL_ERROR "${program} was not installed into ${prefix}/bin")
  endif()
endforeach()

step("configure the outside program"
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install -B ${WORK}/build -G ${GENERATOR}
          -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} -DEXPECT_GUI=${EXPECT_GUI}
          -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
step("build the outside program" COMMAND ${CMAKE_COMMAND} --build ${WORK}/build)
step("run the outside program" COMMAND ${WORK}/build/outside)
if(EXPECT_GUI)
  step("run the outside windowed program" COMMAND ${WORK}/build/outside_gui)
endif()

# The plug-in is named bare, found beside the installed testhost; bin/ is on PATH.
step("run the installed testhost"
  COMMAND ${CMAKE_COMMAND} -E env "PATH=${prefix}/bin:$ENV{PATH}"
          ${prefix}/bin/testhost --phantom sphere --unit float32 --size 24 --out o midrankpar 2
  WORKING_DIRECTORY ${WORK}/run)
file(READ ${WORK}/run/o/volume.txt volume)
file(STRINGS ${WORK}/run/o/state.txt state)
if(NOT volume STREQUAL "size 24 24 24 channels 1 units 6 attributes 0\n"
   OR NOT "cursor 12 12 12" IN_LIST state)
  message(FATAL_ERROR "testhost wrote:\n${volume}${state}")
endif()

file(REMOVE_RECURSE ${WORK})
