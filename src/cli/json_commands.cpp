#include "cli/json_commands.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>

#include "asf/attribute.h"
#include "asf/file.h"
#include "asf/guids.h"
#include "asf/media_time.h"
#include "cli/attribute_values.h"
#include "cli/commands.h"
#include "media/md5.h"
#include "media/source_file.h"
#include "media/source_info.h"

namespace cli {

namespace {

using nlohmann::json;

int print(const json& document, std::ostream& out) {
    out << document.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
    return 0;
}

json attributeValue(const media::Attribute& a) {
    switch (a.type) {
        case media::WMT_TYPE_STRING:
            return attributeString(a);
        case media::WMT_TYPE_BOOL:
            return asf::littleEndian(a.value) != 0;
        case media::WMT_TYPE_DWORD:
        case media::WMT_TYPE_QWORD:
        case media::WMT_TYPE_WORD:
            return asf::littleEndian(a.value);
        case media::WMT_TYPE_GUID:
            return a.value.size() >= 16 ? asf::Guid::fromBytes(a.value.data()).toString() : "";
        default: {
            std::string hex;
            char digits[3];
            for (media::BYTE b : a.value) {
                std::snprintf(digits, sizeof digits, "%02x", b);
                hex += digits;
            }
            return hex;
        }
    }
}

json streamJson(const asf::Stream& s) {
    const asf::StreamProperties& p = s.properties;
    json j = {{"number", s.number},
              {"type_guid", p.streamType.toString()},
              {"hidden", s.hidden},
              {"encrypted", p.encrypted()},
              {"time_offset_hns", p.timeOffset},
              {"format_data_size", p.typeSpecificData.size()}};
    if (p.video) {
        j["type"] = "video";
        j["fourcc"] = asf::fourccText(p.video->compression);
        j["width"] = p.video->width;
        j["height"] = p.video->height;
        j["bits_per_pixel"] = p.video->bitCount;
        j["codec_data_size"] = p.video->extradata.size();
    } else if (p.audio) {
        char tag[8];
        std::snprintf(tag, sizeof tag, "0x%04X", p.audio->formatTag);
        j["type"] = "audio";
        j["format_tag"] = tag;
        j["sample_rate"] = p.audio->samplesPerSec;
        j["channels"] = p.audio->channels;
        j["bit_rate"] = std::uint64_t{p.audio->avgBytesPerSec} * 8;
        j["block_align"] = p.audio->blockAlign;
        j["bits_per_sample"] = p.audio->bitsPerSample;
    } else if (p.streamType == asf::kStreamTypeCommand) {
        j["type"] = "script commands";
    } else {
        j["type"] = "other";
    }
    if (p.audioSpread) {
        j["audio_spread_span"] = p.audioSpread->span;
    }
    return j;
}

json headerDataJson(const media::HeaderData& data) {
    json attributes = json::array(), codecs = json::array(), scripts = json::array(),
         markers = json::array();
    for (const media::Attribute& a : data.attributes) {
        attributes.push_back({{"stream", a.stream},
                              {"name", narrow(a.name)},
                              {"type", attributeTypeName(a.type)},
                              {"value", attributeValue(a)}});
    }
    for (const media::CodecInfo& c : data.codecs) {
        const char* kind = codecTypeName(c.type);
        codecs.push_back(
            {{"type", kind}, {"name", narrow(c.name)}, {"description", narrow(c.description)}});
    }
    for (const media::ScriptCommand& s : data.scripts) {
        scripts.push_back({{"time_hns", s.time},
                           {"seconds", asf::toSeconds(s.time)},
                           {"type", narrow(s.type)},
                           {"command", narrow(s.command)}});
    }
    for (const media::Marker& m : data.markers) {
        markers.push_back(
            {{"time_hns", m.time}, {"seconds", asf::toSeconds(m.time)}, {"name", narrow(m.name)}});
    }
    return {
        {"attributes", attributes}, {"codecs", codecs}, {"scripts", scripts}, {"markers", markers}};
}

}  // namespace

int infoJsonCommand(const std::string& path, std::ostream& out) {
    asf::File file;
    asf::Status status = file.open(path);
    if (status != asf::Status::Ok) {
        return fail(path, media::hresultFromStatus(status));
    }
    const asf::Header& h = file.header();
    const asf::FileProperties& fp = h.fileProperties;
    json streams = json::array(), simple = json::array();
    for (const asf::Stream& s : h.streams) {
        streams.push_back(streamJson(s));
    }
    for (const asf::SimpleIndex& index : file.simpleIndexes()) {
        simple.push_back({{"stream", index.streamNumber},
                          {"entries", index.entries.size()},
                          {"interval_hns", index.entryTimeInterval}});
    }
    json document = {
        {"file", path},
        {"size", file.fileSize()},
        {"packets",
         {{"count", file.packetCount()},
          {"size", file.packetSize()},
          {"declared", file.dataObject().declaredPacketCount},
          {"truncated", file.truncated()}}},
        {"duration_hns", fp.durationWithoutPreroll()},
        {"duration_seconds", asf::toSeconds(fp.durationWithoutPreroll())},
        {"preroll_ms", fp.preroll},
        {"broadcast", fp.broadcast()},
        {"seekable", fp.seekable()},
        {"protected", h.isProtected},
        {"streams", streams},
        {"indexes", {{"simple", simple}, {"index_object", file.index().has_value()}}},
    };
    document.update(headerDataJson(media::buildHeaderData(file)));
    return print(document, out);
}

int keyframesJsonCommand(const std::string& path, std::ostream& out) {
    KeyFrames keys;
    media::HRESULT hr = readKeyFrames(path, keys);
    if (hr == media::ASF_E_NOSTREAMPROPS) {
        std::cerr << "splicor-cli: " << path << ": the file has no video stream\n";
        return 1;
    }
    if (media::FAILED(hr)) {
        return fail(path, hr);
    }
    json frames = json::array();
    for (std::size_t i = 0; i < keys.times.size(); ++i) {
        frames.push_back({{"index", i},
                          {"time_hns", keys.times[i]},
                          {"seconds", asf::toSeconds(keys.times[i])}});
    }
    return print({{"file", path},
                  {"stream", keys.stream},
                  {"duration_hns", keys.duration},
                  {"keyframes", frames}},
                 out);
}

int packetsJsonCommand(const std::string& path, std::ostream& out) {
    json samples = json::array();
    media::HRESULT hr = readSamples(path, [&](const SampleInfo& s) {
        samples.push_back({{"stream", s.stream},
                           {"time_hns", s.time},
                           {"seconds", asf::toSeconds(s.time)},
                           {"duration_hns", s.duration},
                           {"cleanpoint", s.cleanPoint},
                           {"size", s.length},
                           {"md5", media::md5Hex(s.data, s.length)}});
    });
    if (media::FAILED(hr)) {
        return fail(path, hr);
    }
    return print({{"file", path}, {"samples", samples}}, out);
}

}  // namespace cli
