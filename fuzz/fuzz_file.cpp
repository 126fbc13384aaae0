// Fuzzes a whole file held in memory: header, Data Object, the objects after it, every packet
// and sample, and the text dump.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "asf/describe.h"
#include "asf/file.h"
#include "asf/sample_reader.h"
#include "asf/source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    asf::File file;
    const asf::Status s =
        file.open(std::make_unique<asf::MemorySource>(std::vector<uint8_t>(data, data + size)));
    if (s != asf::Status::Ok) {
        return 0;
    }
    asf::SampleReader reader(file);
    asf::Sample sample;
    while (reader.next(sample)) {
    }
    // A seek into the middle, then on to the end again.
    reader.seekToPacket(file.packetCount() / 2);
    while (reader.next(sample)) {
    }
    volatile size_t sink = asf::describe(file).size();
    (void)sink;
    return 0;
}
