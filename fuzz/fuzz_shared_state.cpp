// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target of the suite's state-file parser: any bytes must parse without fault, and a
// state that parses must come back unchanged through a write and a second read. Each input is
// also tried with its header's length and checksum made to fit, so that mutations reach the
// records instead of stopping at the checksum.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "suite/shared_state.h"

namespace {

constexpr const char* kUserFolder = "/home/fuzz/.local/share/Veltrane/";

std::uint32_t crc32(std::span<const std::uint8_t> data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t byte : data) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
        }
    }
    return ~crc;
}

void check(std::span<const std::uint8_t> data) {
    using namespace runemeter;
    const ParsedState parsed = parseSuiteState(std::as_bytes(data), kUserFolder);
    if (parsed.status == StateFileStatus::Ok) {
        const ParsedState again = parseSuiteState(serialiseSuiteState(parsed.state), kUserFolder);
        if (again.status != StateFileStatus::Ok || !(again.state == parsed.state)) {
            std::abort();
        }
    } else if (!(parsed.state == defaultSuiteState(kUserFolder))) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check(std::span(data, size));
    if (size >= 20) {
        std::vector<std::uint8_t> fitted(data, data + size);
        const std::size_t payload = size - 20;
        const std::uint32_t crc = crc32(std::span(fitted).subspan(20));
        for (int i = 0; i < 4; ++i) {
            fitted[12 + i] = static_cast<std::uint8_t>(payload >> (8 * i));
            fitted[16 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
        }
        check(fitted);
    }
    return 0;
}
