// Fuzzes the header rewrite the metadata editor makes: a file read from memory, its descriptive
// objects changed as the input's last byte says, the header written back in its old place (when
// it fits), at its natural size and with room to spare, then read again. Whatever the input, a
// rewritten header must parse, keep the streams and the file properties, hold exactly the
// descriptive objects asked for, and make a whole file with the old data again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "asf/file.h"
#include "asf/guids.h"
#include "asf/header_writer.h"
#include "asf/source.h"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Changes one part of the metadata, picked by `knob`, in a way sized by `size`.
void change(asf::HeaderMetadata& m, uint8_t knob, size_t size) {
    const std::u16string text(size % 3000, u'x');
    switch (knob % 6) {
        case 0:
            break;  // the cut engine's pass: nothing changes
        case 1:
            if (!m.contentDescription) {
                m.contentDescription = asf::ContentDescription();
            }
            m.contentDescription->title = text;
            break;
        case 2: {
            if (!m.extendedContentDescription) {
                m.extendedContentDescription = asf::ExtendedContentDescription();
            }
            asf::Attribute a;
            a.name = u"WM/Fuzzed";
            a.type = asf::kAttributeBinary;
            a.value.assign(size % 70000, 0x5A);  // may be too long for the object: left out
            m.extendedContentDescription->attributes.push_back(a);
            break;
        }
        case 3:
            m.metadata.reset();
            m.metadataLibrary.reset();
            break;
        case 4: {
            if (!m.scriptCommands) {
                m.scriptCommands = asf::ScriptCommandList();
            }
            m.scriptCommands->types.push_back(u"URL");
            asf::ScriptCommand c;
            c.typeIndex = static_cast<uint16_t>(m.scriptCommands->types.size() - 1);
            c.name = text;
            m.scriptCommands->commands.push_back(c);
            break;
        }
        default:
            m.codecList.reset();
            m.contentDescription.reset();
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    asf::File file;
    if (size == 0 || file.open(std::make_unique<asf::MemorySource>(bytes)) != asf::Status::Ok) {
        return 0;
    }
    const asf::Header& header = file.header();
    const asf::HeaderMetadata original = asf::metadataOf(header);
    asf::HeaderMetadata wanted = original;
    change(wanted, data[size - 1], size);

    asf::HeaderRewrite rewrite;
    asf::replaceMetadata(wanted, &original, rewrite);
    rewrite.drop.insert(asf::kDigitalSignatureObject);
    const asf::HeaderLayout layout = asf::rewriteLayout(header, rewrite);
    const uint64_t natural = asf::headerSize(layout);
    for (uint64_t target : {header.size, natural, natural + 2048}) {
        std::vector<uint8_t> written;
        if (!asf::writeHeader(layout, target, written)) {
            // Only the old place may be too small (or leave too little for a Padding Object).
            require(target == header.size && (natural > target || target - natural < 24));
            continue;
        }
        require(written.size() == target);
        asf::Header again;
        require(asf::parseHeader(written.data(), written.size(), again) == asf::Status::Ok);
        require(again.streams.size() == header.streams.size());
        require(again.fileProperties.fileId == header.fileProperties.fileId);
        require(again.fileProperties.maxPacketSize == header.fileProperties.maxPacketSize);
        require(asf::metadataOf(again).objects() == wanted.objects());

        // The new header in front of the old data makes a file with the same packets.
        std::vector<uint8_t> whole = written;
        whole.insert(whole.end(), bytes.begin() + static_cast<std::ptrdiff_t>(header.size),
                     bytes.end());
        asf::File rewritten;
        require(rewritten.open(std::make_unique<asf::MemorySource>(std::move(whole))) ==
                asf::Status::Ok);
        require(rewritten.packetCount() == file.packetCount());
    }
    return 0;
}
