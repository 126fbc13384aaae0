// Fuzzes the Header Object parser, and the lookups callers make on what it returns.
#include <cstddef>
#include <cstdint>

#include "asf/guids.h"
#include "asf/header.h"
#include "asf/utf16.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    asf::Header header;
    if (asf::parseHeader(data, size, header) != asf::Status::Ok) {
        return 0;
    }
    size_t total = 0;
    for (const asf::Stream& stream : header.streams) {
        total += header.findStream(stream.number) != nullptr;
        if (stream.properties.video) {
            total += stream.properties.video->fourcc().size();
        }
        if (stream.extended) {
            // Every payload's extension data is located through these declarations.
            asf::ByteSpan found;
            stream.extended->findExtension(asf::kExtSampleDuration, {data, size}, found);
            for (const asf::StreamName& name : stream.extended->names) {
                total += asf::toUtf8(name.name).size();
            }
        }
    }
    if (header.extendedContentDescription) {
        for (const asf::Attribute& a : header.extendedContentDescription->attributes) {
            total += asf::toUtf8(a.text()).size() + a.number();
        }
    }
    // Keeps the work above from being optimised away.
    volatile size_t sink = total;
    (void)sink;
    return 0;
}
