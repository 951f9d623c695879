// SPDX-License-Identifier: GPL-3.0-or-later
// Language files from untrusted bytes: loaded as the native language, then as a translation,
// then written back. Any exception other than the documented ones is a finding.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "localisation/byte_stream.h"
#include "localisation/lang_file.h"
#include "localisation/lang_file_format.h"
#include "localisation/lang_text.h"
#include "localisation/loc_storage.h"
#include "localisation/lzcompress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace runemeter;
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
    TLocStorage store;
    try {
        auto native = TLangFile::CreateInMem();
        ByteStream stream(bytes);
        native->LoadFromStream(stream, &store, loRepair, -1);

        auto translation = TLangFile::CreateInMem();
        ByteStream again(bytes);
        const std::size_t index = store.AddLanguage(0x0407);
        translation->LoadFromStream(again, &store, 0, static_cast<int>(index));

        ByteStream out;
        translation->SaveToStream(out, store, index);
    } catch (const NamedError&) {
    }

    // The image path (used by the tool): read, text, read the text, write; all must agree.
    try {
        bool compressed = false;
        const LangFileImage image = readLangFileImage(bytes, &compressed);
        const std::string text = langImageToText(image, compressed);
        bool compressedAgain = false;
        const LangFileImage back = langImageFromText(text, &compressedAgain);
        if (!(back == image) || compressedAgain != compressed) {
            std::abort();
        }
        const auto written = writeLangFileImage(image, false);
        if (!(readLangFileImage(written) == image)) {
            std::abort();
        }
    } catch (const NamedError&) {
    }
    return 0;
}
