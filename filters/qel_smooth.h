// Kernel convolution of one channel in place and separable Gaussian smoothing built on it.
// Every voxel becomes the weighted sum of the voxels the kernel's points reach around it, read
// from an untouched copy whose border repeats the edge voxels. Sums are formed in double in
// point order; integer units store them truncated toward zero, low bits kept (no clamping).
#pragma once
#include "volume/qel_kernel.h"
#include "volume/qel_volume.h"

// A normalised one-dimensional Gaussian along "x"/"X", "y"/"Y" or "z"/"Z": radius
// R = 1 - trunc(-3.2f * sigma), points centre first, then -R..-1, 1..R along the axis.
// NULL for another axis text, R < 0, a NaN or infinite sigma, or a radius so large that no
// volume could be padded by it.
QelKernel* QEL_NewGaussianKernel1D(const char* axis, float sigma);

// Three passes, x then y then z. Sigma 0 does nothing; so does a sigma that gives no kernel.
void QEL_GaussianSmoothChannel(QelRawVolumeData* vol, int channel, float sigma);

// Convolves (correlates) the channel with the kernel's active points and weights. Sets the
// kernel's offsets for the volume grown by its margin. Any failure leaves the channel as it was.
void QEL_ConvolveChannel(QelRawVolumeData* vol, int channel, QelKernel* kernel);
