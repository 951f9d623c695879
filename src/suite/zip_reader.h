// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reading zip archives through libzip: listing members and extracting one by index.
//
// | case                                                  | result                          |
// |-------------------------------------------------------|---------------------------------|
// | missing, not a regular file, not a zip, truncated     | open() false, error() says why  |
// | entries overlap, or lie outside the archive's data   | open() false, error() says why  |
// | index outside the central directory                   | NoSuchMember                    |
// | claimed or actual unpacked size above the limit       | TooLarge, nothing kept          |
// | out of memory while unpacking                         | TooLarge, nothing kept          |
// | inflate or CRC error, size unlike its directory entry | Damaged, nothing kept           |
// | encrypted, unknown compression method                 | Damaged, nothing kept           |
// | the caller asked to stop while unpacking              | Stopped, nothing kept           |
//
// A member's data is unpacked in pieces, so a size claimed in the directory never decides
// how much memory is taken before the data is there.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "suite/input_error.h"

namespace runemeter {

/// One entry of an archive's central directory.
struct ZipMemberInfo {
    std::int32_t index = 0;  ///< 0-based index in the archive
    std::string name;        ///< the stored name (UTF-8 bytes as stored)
    std::uint64_t size = 0;  ///< uncompressed size as the directory claims it
    bool isDirectory = false;
};

/// Result of an extraction.
enum class ZipReadStatus { Ok, NoSuchMember, TooLarge, Damaged, Stopped };

/// An open archive. Open it once and extract any number of members.
class TUnZipReader {
public:
    /// Largest member unpacked; larger members are skipped as TooLarge.
    static constexpr std::uint64_t kDefaultMemberLimit = std::uint64_t{1} << 32;
    /// Smallest limit memberLimitFor gives, however little memory there is.
    static constexpr std::uint64_t kSmallestMemberLimit = std::uint64_t{64} << 20;

    /// The member limit for a machine with this much physical memory: an eighth of it, at least
    /// kSmallestMemberLimit, at most kDefaultMemberLimit. The run streams members and needs no
    /// such room any more; the limit stays so that a small archive cannot unpack without end
    /// and a member is refused, with the same message, where it was before.
    [[nodiscard]] static std::uint64_t memberLimitFor(std::uint64_t physicalMemory);
    /// memberLimitFor this machine's physical memory (kDefaultMemberLimit when unknown).
    [[nodiscard]] static std::uint64_t memberLimitForThisMachine();

    TUnZipReader();
    ~TUnZipReader();
    TUnZipReader(const TUnZipReader&) = delete;
    TUnZipReader& operator=(const TUnZipReader&) = delete;

    /// Opens the archive; false with error() set when it is missing or damaged.
    [[nodiscard]] bool open(const std::filesystem::path& archive);
    /// Whether an archive is open.
    [[nodiscard]] bool isOpen() const;
    /// The archive last given to open().
    [[nodiscard]] const std::filesystem::path& archivePath() const { return m_path; }
    /// Closes the archive (nothing is written to it).
    void close();

    /// Every entry of the central directory, in index order.
    [[nodiscard]] std::vector<ZipMemberInfo> members() const;

    /// Extracts member index into out (resized to the member's size; capacity reused).
    /// Damaged: the data could not be inflated or failed its CRC; error() says why.
    /// stopRequested (if any) is asked about every kStopPollEvery bytes unpacked: true ends
    /// the extraction with Stopped.
    [[nodiscard]] ZipReadStatus UnZipToBufferByIndex(
        std::int32_t index, std::vector<std::byte>& out, std::uint64_t limit = kDefaultMemberLimit,
        const std::function<bool()>& stopRequested = {});
    /// Opens member index to be unpacked piece by piece with readMember (closing the member
    /// open before). Ok, or NoSuchMember, TooLarge (its directory entry claims more than limit)
    /// or Damaged with error() saying why.
    [[nodiscard]] ZipReadStatus openMember(std::int32_t index,
                                           std::uint64_t limit = kDefaultMemberLimit);
    /// The next bytes of the open member into buffer, got set to their count: fewer than the
    /// buffer holds only near the end, 0 at the end, once the member's size and CRC were checked
    /// (the member is then closed). Damaged or TooLarge (more than the limit unpacked) close it,
    /// error() saying why; the checks are those of UnZipToBufferByIndex.
    [[nodiscard]] ZipReadStatus readMember(std::span<std::byte> buffer, std::size_t& got);
    /// The unpacked size the open member's directory entry claims (0 when it claims none).
    [[nodiscard]] std::uint64_t memberSize() const;
    /// Closes the open member, if any, unread bytes and all.
    void closeMember();

    /// Bytes unpacked between two looks at stopRequested.
    static constexpr std::uint64_t kStopPollEvery = std::uint64_t{256} << 10;

    /// The last error in words.
    [[nodiscard]] const std::string& error() const { return m_error.message; }
    /// The last error: its kind, the member number it concerns (1-based in the line field; 0
    /// for the archive as a whole) and its words.
    [[nodiscard]] const InputError& failure() const { return m_error; }

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    void memberError(InputErrorCode code, std::string message);

    std::filesystem::path m_path;
    std::int32_t m_member = -1;  ///< the member last opened, for the errors that concern it
    InputError m_error;
};

}  // namespace runemeter
