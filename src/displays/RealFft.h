#pragma once
// Forward real FFT for the spectrum analyser, every power-of-two length
// from 8 to 4096, on FFTW (single precision).
//
// All plans and buffers are made in the constructor (FFTW_ESTIMATE, so no
// measuring runs), so a transform allocates nothing and never calls the
// planner. The result is unnormalised: X[k] = sum x[n] e^(-2 pi i k n / N).
//
// Threads: FFTW's planner is not thread-safe, so construction and
// destruction happen on the main thread. Forward() may run on any one
// thread at a time (the analyser calls it on the main thread).

#include <array>
#include <complex>

namespace zt {

class RealFft {
public:
    static constexpr int kMinLength = 8;
    static constexpr int kMaxLength = 4096;

    RealFft();
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    // The input buffer (kMaxLength values); fill the first `length` values
    // before Forward(length).
    float* Input() { return in_; }
    // Transforms the first `length` input values (a power of two in
    // kMinLength..kMaxLength). Output()[0 .. length/2] then holds the bins,
    // Output()[0] the DC value. The input may be overwritten.
    void Forward(int length);
    const std::complex<float>* Output() const { return out_; }

private:
    void Release();

    static constexpr int kPlans = 10;  // 8, 16, ..., 4096
    float* in_ = nullptr;
    std::complex<float>* out_ = nullptr;
    std::array<void*, kPlans> plans_{};
};

}  // namespace zt
