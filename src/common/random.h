#pragma once
// The system's cryptographic random numbers.
#include <span>

bool randomBytes(std::span<unsigned char> out);
