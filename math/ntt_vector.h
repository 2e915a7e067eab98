// The loops of math/ntt.cpp's transforms over eight residues at a time, in
// the processor's 256-bit vector instructions (AVX2), for processors and
// systems that have them. Each gives the same residues modulo P as the
// portable loop it stands for, within the same bounds (values below 2P
// where the portable loop leaves them there), so the products they make
// are the same words. They keep no state; any thread may run them on arrays
// no other thread writes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zk::math::detail {

// A prime P below 2**30 and -P**-1 mod 2**32, for Montgomery's reduction
// with R = 2**32.
struct NttModulus {
  std::uint32_t p;
  std::uint32_t negInverse;
};

// Whether this processor and system run the functions below: x86 with AVX2
// that the system saves and restores across threads. Asked of the system
// once.
bool nttVectorAvailable() noexcept;

// The butterflies of one forward (decimation in frequency) level over
// blocks of 2len points: lo, hi = lo + hi, (lo - hi) w**j, values below 2P
// in and out. w holds w**j R for j < len. n is a multiple of 16 and of 2len.
void nttVectorForwardLevel(std::uint32_t* a, std::size_t n, std::size_t len, const std::uint32_t* w,
                           NttModulus m) noexcept;

// The same for a level of the inverse transform (decimation in time with
// the inverse roots): lo, hi = lo - t, lo + t for t = hi w[len - j], so w
// holds len + 1 entries, w[len] being w**len R = -R.
void nttVectorInverseLevel(std::uint32_t* a, std::size_t n, std::size_t len, const std::uint32_t* w,
                           NttModulus m) noexcept;

// a[i] = a[i] b[i] / R, below 2P, for a[i] and b[i] below 2P.
void nttVectorMultiply(std::uint32_t* a, const std::uint32_t* b, std::size_t n, NttModulus m) noexcept;

// out[i] = in[i] f / R fully reduced (below P), for f below P and any
// in[i]: with f = R mod P it is in[i] mod P, with f a Montgomery factor
// a plain scaling. out may be in.
void nttVectorScale(std::uint32_t* out, const std::uint32_t* in, std::size_t n, std::uint32_t f,
                    NttModulus m) noexcept;

// The first two steps of Garner's recombination from residues modulo p1 <
// p2 < p3, for each point: r2[i] = (r2 - r1) / p1 mod p2 and then r3[i] =
// ((r3 - r1) / p1 - r2[i]) / p2 mod p3, fully reduced, with the inverses
// given as mul factors (times R): inv1In2 = R / p1 mod p2, inv1In3 = R / p1
// mod p3, inv2In3 = R / p2 mod p3. r1, r2 and r3 come in fully reduced.
void nttVectorGarner(const std::uint32_t* r1, std::uint32_t* r2, std::uint32_t* r3, std::size_t n, NttModulus m2,
                     std::uint32_t inv1In2, NttModulus m3, std::uint32_t inv1In3, std::uint32_t inv2In3) noexcept;

}  // namespace zk::math::detail
