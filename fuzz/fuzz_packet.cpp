// Fuzzes the data packet parser and the sample assembler behind it. Input: a packet size
// (16 bits, little-endian), then packets of that size, parsed and assembled in turn for a fixed
// header whose streams exercise every assembler path (scrambled audio, payload extensions).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "asf/data_packet.h"
#include "asf/guids.h"
#include "asf/header.h"
#include "asf/sample_assembler.h"

namespace {

asf::Header makeHeader() {
    asf::Header h;
    h.fileProperties.preroll = 3000;
    asf::Stream video;
    video.number = 1;
    video.properties.streamType = asf::kStreamTypeVideo;
    video.properties.flags = 1;
    asf::ExtendedStreamProperties esp;
    esp.streamNumber = 1;
    asf::PayloadExtensionSystem name;
    name.id = asf::kExtFileName;
    name.dataSize = asf::PayloadExtensionSystem::kVariableSize;
    asf::PayloadExtensionSystem duration;
    duration.id = asf::kExtSampleDuration;
    duration.dataSize = 2;
    esp.extensionSystems = {name, duration};
    video.extended = esp;
    h.streams.push_back(video);

    asf::Stream audio;
    audio.number = 2;
    audio.properties.streamType = asf::kStreamTypeAudio;
    audio.properties.flags = 2;
    asf::AudioSpread spread;
    spread.span = 3;
    spread.virtualPacketLength = 8;
    spread.virtualChunkLength = 2;
    audio.properties.audioSpread = spread;
    h.streams.push_back(audio);
    return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const asf::Header header = makeHeader();
    if (size < 2) {
        return 0;
    }
    size_t packetSize = data[0] | (data[1] << 8);
    data += 2;
    size -= 2;
    if (packetSize == 0 || packetSize > size) {
        packetSize = size;
    }
    asf::SampleAssembler assembler(header);
    std::vector<asf::Payload> payloads;
    std::vector<asf::Sample> samples;
    for (size_t offset = 0, n = 0; packetSize > 0 && size - offset >= packetSize;
         offset += packetSize, ++n) {
        asf::PacketInfo info;
        // Whatever a failed parse leaves is handed on too: the assembler must take it.
        static_cast<void>(asf::parsePacket(data + offset, packetSize, info, payloads));
        assembler.addPacket(n, info, payloads, samples);
        samples.clear();
    }
    assembler.reset();
    return 0;
}
