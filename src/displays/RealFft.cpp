#include "displays/RealFft.h"

#include <fftw3.h>

#include <new>
#include <stdexcept>

namespace zt {

namespace {
int PlanIndexOf(int length) {
    int index = 0;
    for (int n = RealFft::kMinLength; n < length; n *= 2) ++index;
    return index;
}
}  // namespace

RealFft::RealFft() {
    in_ = static_cast<float*>(fftwf_malloc(sizeof(float) * kMaxLength));
    out_ = static_cast<std::complex<float>*>(
        fftwf_malloc(sizeof(std::complex<float>) * (kMaxLength / 2 + 1)));
    if (!in_ || !out_) {
        Release();
        throw std::bad_alloc();
    }
    for (int i = 0; i < kMaxLength; ++i) in_[i] = 0.0f;
    // std::complex<float> has the layout of fftwf_complex (float[2]).
    auto* out = reinterpret_cast<fftwf_complex*>(out_);
    for (int i = 0, n = kMinLength; i < kPlans; ++i, n *= 2) {
        // Both buffers come from fftwf_malloc, so every plan may assume
        // the same (SIMD) alignment the buffers have at Forward() time.
        plans_[i] = fftwf_plan_dft_r2c_1d(n, in_, out, FFTW_ESTIMATE);
        if (!plans_[i]) {
            Release();
            throw std::runtime_error("fftwf_plan_dft_r2c_1d failed");
        }
    }
}

RealFft::~RealFft() {
    Release();
}

void RealFft::Release() {
    for (void*& p : plans_) {
        if (p) fftwf_destroy_plan(static_cast<fftwf_plan>(p));
        p = nullptr;
    }
    fftwf_free(in_);
    fftwf_free(out_);
    in_ = nullptr;
    out_ = nullptr;
}

void RealFft::Forward(int length) {
    if (length < kMinLength || length > kMaxLength || (length & (length - 1)) != 0) return;
    fftwf_execute(static_cast<fftwf_plan>(plans_[PlanIndexOf(length)]));
}

}  // namespace zt
