// Made-up file contents for tests that need files of a given size.
#pragma once
#include <cstddef>
#include <string>

// size bytes that differ from seed to seed, the same on every run and in every tree.
std::string Contents(size_t size, unsigned seed);
