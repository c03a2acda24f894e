// Random choices: one Mersenne Twister per thread. Tests seed it here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>

// The calling thread's generator.
std::mt19937& gf_rng();
// Reseeds the calling thread's generator.
void gf_seedRng(std::uint32_t seed);

// 0 when RANDOM is off or n is below 2, else the next output modulo n.
std::size_t gf_randomIndex(std::size_t n);
// v plus or minus v * p / 100, the sign drawn once; v itself when p <= 0.
double gf_randomizePercent(double v, double p);
