#include "asf/describe.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <map>
#include <vector>

#include "asf/data_packet.h"
#include "asf/guids.h"
#include "asf/utf16.h"

namespace asf {
namespace {

// printf into a std::string.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void appendf(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
        const size_t old = out.size();
        out.resize(old + static_cast<size_t>(n) + 1);
        std::vsnprintf(&out[old], static_cast<size_t>(n) + 1, format, again);
        out.resize(old + static_cast<size_t>(n));
    }
    va_end(again);
}

void describeObjects(std::string& out, const std::vector<RawObject>& objects, const char* indent) {
    for (const RawObject& o : objects) {
        appendf(out, "%s@%" PRIu64 " %s, %" PRIu64 " bytes\n", indent, o.offset,
                describeGuid(o.guid).c_str(), o.size);
    }
}

std::string streamTypeName(const StreamProperties& spo) {
    if (spo.isAudio()) {
        return "audio";
    }
    if (spo.isVideo()) {
        return "video";
    }
    return describeGuid(spo.streamType);
}

void describeStream(std::string& out, const Stream& stream) {
    const StreamProperties& spo = stream.properties;
    appendf(out, "  #%u %s%s%s", stream.number, streamTypeName(spo).c_str(),
            stream.hidden ? " (hidden)" : "", spo.encrypted() ? " (encrypted)" : "");
    if (spo.audio) {
        appendf(out, ", format 0x%04X, %u ch, %u Hz, block %u, %u extra bytes",
                spo.audio->formatTag, spo.audio->channels, spo.audio->samplesPerSec,
                spo.audio->blockAlign, static_cast<unsigned>(spo.audio->extra.size()));
    }
    if (spo.video) {
        appendf(out, ", %s %ux%u, %u extradata bytes", spo.video->fourcc().c_str(),
                spo.video->encodedWidth, spo.video->encodedHeight,
                static_cast<unsigned>(spo.video->extradata.size()));
    }
    out += '\n';
    appendf(out, "     error correction: %s", describeGuid(spo.errorCorrectionType).c_str());
    if (spo.audioSpread) {
        appendf(out, " (span %u, virtual packet %u, chunk %u)", spo.audioSpread->span,
                spo.audioSpread->virtualPacketLength, spo.audioSpread->virtualChunkLength);
    }
    if (spo.timeOffset != 0) {
        appendf(out, ", time offset %" PRIu64, spo.timeOffset);
    }
    out += '\n';
    if (stream.extended) {
        const ExtendedStreamProperties& esp = *stream.extended;
        appendf(out,
                "     extended: bitrate %u, buffer %u ms, max object %u, frame time %" PRIu64
                ", language %u",
                esp.dataBitrate, esp.bufferSize, esp.maxObjectSize, esp.averageTimePerFrame,
                esp.languageIndex);
        for (const StreamName& name : esp.names) {
            appendf(out, ", name \"%s\"", toUtf8(name.name).c_str());
        }
        out += '\n';
        for (const PayloadExtensionSystem& ext : esp.extensionSystems) {
            appendf(out, "     payload extension: %s, %s\n", describeGuid(ext.id).c_str(),
                    ext.variableSize() ? "variable size"
                                       : (std::to_string(ext.dataSize) + " bytes").c_str());
        }
    }
}

void describeHeader(std::string& out, const Header& h) {
    appendf(out, "header: @0, %" PRIu64 " bytes, %zu objects (%u declared)\n", h.size,
            h.objects.size(), h.childCount);
    for (const RawObject& o : h.objects) {
        appendf(out, "  @%" PRIu64 " %s, %" PRIu64 " bytes\n", o.offset,
                describeGuid(o.guid).c_str(), o.size);
        if (o.guid == kHeaderExtensionObject) {
            describeObjects(out, h.extensionObjects, "    ");
        }
    }
    const FileProperties& fp = h.fileProperties;
    appendf(out,
            "file properties: id %s, file size %" PRIu64 ", %" PRIu64
            " packets of %u bytes, preroll %" PRIu64 " ms, play duration %" PRIu64
            " (100 ns), send duration %" PRIu64 ", flags 0x%X%s%s, max bitrate %u\n",
            fp.fileId.toString().c_str(), fp.fileSize, fp.dataPacketsCount, fp.maxPacketSize,
            fp.preroll, fp.playDuration, fp.sendDuration, fp.flags,
            fp.broadcast() ? " broadcast" : "", fp.seekable() ? " seekable" : "", fp.maxBitrate);
    appendf(out, "streams: %zu\n", h.streams.size());
    for (const Stream& stream : h.streams) {
        describeStream(out, stream);
    }
    appendf(out, "protected: %s\n", h.isProtected ? "yes" : "no");
    if (h.codecList) {
        for (const CodecEntry& e : h.codecList->entries) {
            appendf(out, "codec: type %u, \"%s\", \"%s\"\n", e.type, toUtf8(e.name).c_str(),
                    toUtf8(e.description).c_str());
        }
    }
    if (h.scriptCommands) {
        appendf(out, "script commands: %zu types, %zu commands\n", h.scriptCommands->types.size(),
                h.scriptCommands->commands.size());
    }
    if (h.markers) {
        appendf(out, "markers: %zu\n", h.markers->markers.size());
    }
    for (const ObjectProblem& p : h.problems) {
        appendf(out, "problem: %s at @%" PRIu64 ": %s\n", describeGuid(p.guid).c_str(), p.offset,
                statusText(p.status));
    }
}

// Counts over the packets of the Data Object.
struct PacketSummary {
    uint64_t read = 0;
    uint64_t damaged = 0;
    uint64_t withErrorCorrection = 0;
    uint64_t multiplePayloads = 0;
    uint64_t explicitLength = 0;
    uint64_t padded = 0;
    uint64_t payloads = 0;
    uint64_t compressed = 0;
    std::map<unsigned, uint64_t> propertyFlags;
    std::map<unsigned, uint64_t> payloadsPerStream;
    uint32_t firstSendTime = 0;
    uint32_t lastSendTime = 0;
};

PacketSummary summarizePackets(const File& file, uint64_t maxPackets) {
    PacketSummary sum;
    std::vector<uint8_t> buf;
    std::vector<Payload> payloads;
    const uint64_t count = std::min(file.packetCount(), maxPackets);
    for (uint64_t n = 0; n < count; ++n) {
        if (file.readPacket(n, buf) != Status::Ok) {
            break;
        }
        ++sum.read;
        PacketInfo info;
        if (parsePacket(buf.data(), buf.size(), info, payloads) != Status::Ok) {
            ++sum.damaged;
        }
        sum.withErrorCorrection += info.errorCorrectionPresent;
        sum.multiplePayloads += info.multiplePayloads;
        sum.explicitLength += ((info.lengthTypeFlags >> 5) & 3) != 0;
        sum.padded += info.payloadEnd < buf.size();
        ++sum.propertyFlags[info.propertyFlags];
        if (n == 0) {
            sum.firstSendTime = info.sendTime;
        }
        sum.lastSendTime = info.sendTime;
        for (const Payload& p : payloads) {
            ++sum.payloads;
            sum.compressed += p.compressed;
            ++sum.payloadsPerStream[p.streamNumber];
        }
    }
    return sum;
}

void describeData(std::string& out, const File& file, uint64_t maxPackets) {
    const DataObjectInfo& d = file.dataObject();
    appendf(out,
            "data: @%" PRIu64 ", size %" PRIu64 "%s, %" PRIu64 " packets declared, %" PRIu64
            " whole packets of %u bytes from @%" PRIu64 "%s\n",
            d.offset, d.declaredSize, d.sizeKnown ? "" : " (not used)", d.declaredPacketCount,
            file.packetCount(), file.packetSize(), d.firstPacketOffset,
            file.truncated() ? ", truncated" : "");
    if (file.partialPacketBytes() > 0) {
        appendf(out, "partial packet: %u bytes at the end of the file\n",
                file.partialPacketBytes());
    }
    const PacketSummary sum = summarizePackets(file, maxPackets);
    appendf(out,
            "packets: %" PRIu64 " read, %" PRIu64 " damaged, %" PRIu64
            " with error correction, %" PRIu64 " multiple-payload, %" PRIu64
            " with a length field, %" PRIu64 " padded; send times %u..%u ms\n",
            sum.read, sum.damaged, sum.withErrorCorrection, sum.multiplePayloads,
            sum.explicitLength, sum.padded, sum.firstSendTime, sum.lastSendTime);
    appendf(out, "payloads: %" PRIu64 " (%" PRIu64 " from compressed payloads)", sum.payloads,
            sum.compressed);
    for (const auto& [stream, n] : sum.payloadsPerStream) {
        appendf(out, ", #%u: %" PRIu64, stream, n);
    }
    out += '\n';
    out += "property flags:";
    for (const auto& [flags, n] : sum.propertyFlags) {
        appendf(out, " 0x%02X x %" PRIu64, flags, n);
    }
    out += '\n';
}

void describeTrailing(std::string& out, const File& file) {
    size_t simple = 0;
    for (const RawObject& o : file.trailingObjects()) {
        appendf(out, "@%" PRIu64 " %s, %" PRIu64 " bytes", o.offset, describeGuid(o.guid).c_str(),
                o.size);
        if (o.guid == kSimpleIndexObject && simple < file.simpleIndexes().size()) {
            const SimpleIndex& si = file.simpleIndexes()[simple++];
            appendf(out, ": stream #%u, %zu entries every %" PRIu64 " (100 ns)", si.streamNumber,
                    si.entries.size(), si.entryTimeInterval);
        } else if (o.guid == kIndexObject && file.index()) {
            appendf(out, ": %zu specifiers, %zu blocks, every %u ms",
                    file.index()->specifiers.size(), file.index()->blocks.size(),
                    file.index()->entryTimeInterval);
        }
        out += '\n';
    }
    for (const ObjectProblem& p : file.problems()) {
        appendf(out, "problem: %s at @%" PRIu64 ": %s\n", describeGuid(p.guid).c_str(), p.offset,
                statusText(p.status));
    }
}

}  // namespace

std::string describe(const File& file) {
    return describe(file, std::numeric_limits<uint64_t>::max());
}

std::string describe(const File& file, uint64_t maxPackets) {
    std::string out;
    appendf(out, "file: %" PRIu64 " bytes\n", file.fileSize());
    describeHeader(out, file.header());
    if (file.isOpen()) {
        describeData(out, file, maxPackets);
        describeTrailing(out, file);
    }
    return out;
}

}  // namespace asf
