# Installation (cmake --install BUILD --prefix DIR):
#   DIR/bin                the programs and testhost together, so that the test host finds them
#   DIR/lib                the static libraries qel and, with GTK, qel_gui
#   DIR/include/qel/<dir>  the public headers, included as "volume/qel_volume.h"
#   DIR/lib/cmake/qel      the package: find_package(qel), then qel::qel and qel::qel_gui
include(GNUInstallDirs)

set(QEL_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qel)

set(QEL_INSTALLED_PROGRAMS)
foreach(dir ${QEL_PROGRAM_DIRS})
  get_filename_component(name ${dir} NAME)
  if(TARGET ${name})
    list(APPEND QEL_INSTALLED_PROGRAMS ${name})
  endif()
endforeach()
if(TARGET testhost)
  list(APPEND QEL_INSTALLED_PROGRAMS testhost)
endif()
install(TARGETS ${QEL_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(QEL_INSTALLED_LIBRARIES qel)
if(TARGET qel_gui)
  list(APPEND QEL_INSTALLED_LIBRARIES qel_gui)
endif()
install(TARGETS ${QEL_INSTALLED_LIBRARIES} EXPORT qelTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qel)

# Public headers are the qel_*.h; the internal .hpp stay behind (no public header includes one).
foreach(dir ${QEL_DIRS})
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/qel_*.h)
  if(NOT TARGET qel_gui)
    list(FILTER headers EXCLUDE REGEX "/qel_gtk_[^/]*\\.h$")
  endif()
  install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qel/${dir})
endforeach()

install(EXPORT qelTargets NAMESPACE qel:: DESTINATION ${QEL_PACKAGE_DIR})
if(TARGET qel_gui)
  set(QEL_PACKAGE_GUI ON)
else()
  set(QEL_PACKAGE_GUI OFF)
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/qelConfig.cmake.in ${CMAKE_BINARY_DIR}/qelConfig.cmake @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/qelConfig.cmake DESTINATION ${QEL_PACKAGE_DIR})
