// Files as byte strings, for the tests that run without Qt (natively and under Wine).
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

// Bytes that differ from seed to seed, so a copy cannot pass by accident.
inline std::string sampleBytes(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    std::mt19937 engine(seed);
    for (auto& byte : bytes)
        byte = static_cast<char>(engine());
    return bytes;
}

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// "<absent>" when the file cannot be read, which no test writes.
inline std::string readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return in ? std::move(bytes).str() : std::string("<absent>");
}
