// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A zip member as a byte source: unpacked in order as it is read, never held whole.

#include <cstddef>
#include <cstdint>
#include <span>

#include "profile/long_text.h"
#include "suite/zip_reader.h"

namespace runemeter {

/// Thrown by ZipMemberSource when the member cannot be unpacked; the status it was given says
/// how, the reader's error() why.
struct MemberFailed {};

/// The member the reader has open (openMember), unpacked as it is read.
class ZipMemberSource final : public SequentialSource {
public:
    /// status is set by every read: Ok, or how the member failed. index and limit are those
    /// the member was opened with (openMember), to open it again when it is read again.
    ZipMemberSource(TUnZipReader& reader, ZipReadStatus& status, std::int32_t index,
                    std::uint64_t limit = TUnZipReader::kDefaultMemberLimit)
        : m_reader(reader), m_status(status), m_index(index), m_limit(limit) {}
    [[nodiscard]] std::size_t readNext(std::span<std::byte> buffer) override {
        std::size_t got = 0;
        m_status = m_reader.readMember(buffer, got);
        if (m_status != ZipReadStatus::Ok) {
            throw MemberFailed();
        }
        return got;
    }

protected:
    [[nodiscard]] bool canReopen() const override { return true; }
    [[nodiscard]] bool reopen() override {
        m_status = m_reader.openMember(m_index, m_limit);
        if (m_status != ZipReadStatus::Ok) {
            throw MemberFailed();
        }
        return true;
    }

private:
    TUnZipReader& m_reader;
    ZipReadStatus& m_status;
    std::int32_t m_index;
    std::uint64_t m_limit;
};

}  // namespace runemeter
