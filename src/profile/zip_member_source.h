#pragma once

// A zip member as a byte source: unpacked in order as it is read, never held whole.

#include <cstddef>
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
    /// status is set by every read: Ok, or how the member failed.
    ZipMemberSource(TUnZipReader& reader, ZipReadStatus& status)
        : m_reader(reader), m_status(status) {}
    [[nodiscard]] std::size_t readNext(std::span<std::byte> buffer) override {
        std::size_t got = 0;
        m_status = m_reader.readMember(buffer, got);
        if (m_status != ZipReadStatus::Ok) {
            throw MemberFailed();
        }
        return got;
    }

private:
    TUnZipReader& m_reader;
    ZipReadStatus& m_status;
};

}  // namespace runemeter
