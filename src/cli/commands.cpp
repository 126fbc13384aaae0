#include "cli/commands.h"

#include "cli/attribute_values.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>

#include "asf/attribute.h"
#include "asf/file.h"
#include "asf/guids.h"
#include "asf/media_time.h"
#include "media/md5.h"
#include "media/source_file.h"
#include "media/source_info.h"
#include "media/wmsdk.h"
#include "platform/files.h"
#include "platform/text.h"
#include "thumbs/contact_sheet.h"
#include "thumbs/thumb_document.h"

namespace cli {

namespace {

using media::ComPtr;
using media::FAILED;
using media::HRESULT;
using media::SUCCEEDED;

std::string seconds(std::uint64_t hundredNs) {
    return asf::secondsText(hundredNs) + " s";
}

std::string attributeText(const media::Attribute& a) {
    std::string type = attributeTypeName(a.type);
    switch (a.type) {
        case media::WMT_TYPE_STRING:
            return type + " \"" + attributeString(a) + "\"";
        case media::WMT_TYPE_BOOL:
            return type + (asf::littleEndian(a.value) ? " true" : " false");
        case media::WMT_TYPE_DWORD:
        case media::WMT_TYPE_QWORD:
        case media::WMT_TYPE_WORD:
            return type + " " + std::to_string(asf::littleEndian(a.value));
        case media::WMT_TYPE_GUID:
            return type + " " + asf::Guid::fromBytes(a.value.data()).toString();
        default:
            return type + " " + std::to_string(a.value.size()) + " bytes";
    }
}

std::string streamText(const asf::Stream& s) {
    std::ostringstream out;
    const asf::StreamProperties& p = s.properties;
    out << "#" << int(s.number) << " ";
    if (p.video) {
        out << "video " << asf::fourccText(p.video->compression) << " " << p.video->width << "x"
            << p.video->height;
        if (!p.video->extradata.empty()) {
            out << ", " << p.video->extradata.size() << " bytes of codec data";
        }
    } else if (p.audio) {
        char tag[8];
        std::snprintf(tag, sizeof tag, "0x%04X", p.audio->formatTag);
        out << "audio " << tag << " " << p.audio->samplesPerSec << " Hz " << p.audio->channels
            << " ch " << p.audio->avgBytesPerSec * 8 << " bit/s, block " << p.audio->blockAlign;
    } else if (p.streamType == asf::kStreamTypeCommand) {
        out << "script commands";
    } else {
        out << "type " << p.streamType.toString();
    }
    if (p.audioSpread) {
        out << ", audio spread span " << int(p.audioSpread->span);
    }
    if (s.hidden) {
        out << " (declared inside its extended properties)";
    }
    if (p.encrypted()) {
        out << " (encrypted)";
    }
    return out.str();
}

}  // namespace

int fail(const std::string& path, HRESULT hr) {
    std::cerr << "splicor-cli: " << path << ": " << media::hresultText(hr) << "\n";
    return 1;
}

int infoCommand(const std::string& path, std::ostream& out) {
    asf::File file;
    asf::Status status = file.open(path);
    if (status != asf::Status::Ok) {
        return fail(path, media::hresultFromStatus(status));
    }
    const asf::Header& h = file.header();
    const asf::FileProperties& fp = h.fileProperties;
    out << "file: " << path << "\n";
    out << "size: " << file.fileSize() << " bytes\n";
    out << "packets: " << file.packetCount() << " of " << file.packetSize() << " bytes (declared "
        << file.dataObject().declaredPacketCount << ")" << (file.truncated() ? ", truncated" : "")
        << "\n";
    out << "duration: " << seconds(fp.durationWithoutPreroll()) << "\n";
    out << "preroll: " << fp.preroll << " ms\n";
    out << "flags: broadcast " << (fp.broadcast() ? "yes" : "no") << ", seekable "
        << (fp.seekable() ? "yes" : "no") << "\n";
    out << "protected: " << (h.isProtected ? "yes (DRM)" : "no") << "\n";
    out << "streams:\n";
    for (const asf::Stream& s : h.streams) {
        out << "  " << streamText(s) << "\n";
    }
    out << "indexes:\n";
    for (const asf::SimpleIndex& index : file.simpleIndexes()) {
        out << "  simple index for stream " << int(index.streamNumber) << ": "
            << index.entries.size() << " entries every " << seconds(index.entryTimeInterval)
            << "\n";
    }
    if (file.index()) {
        out << "  index object\n";
    }
    media::HeaderData data = media::buildHeaderData(file);
    out << "attributes:\n";
    for (const media::Attribute& a : data.attributes) {
        out << "  [" << a.stream << "] " << narrow(a.name) << " = " << attributeText(a);
        if (a.language != 0) {
            out << " (language " << a.language << ")";
        }
        out << "\n";
    }
    out << "codecs:\n";
    for (const media::CodecInfo& c : data.codecs) {
        const char* kind = codecTypeName(c.type);
        out << "  " << kind << " \"" << narrow(c.name) << "\" \"" << narrow(c.description)
            << "\"\n";
    }
    out << "script commands:\n";
    for (const media::ScriptCommand& s : data.scripts) {
        out << "  " << seconds(s.time) << " " << narrow(s.type) << " \"" << narrow(s.command)
            << "\"\n";
    }
    out << "markers:\n";
    for (const media::Marker& m : data.markers) {
        out << "  " << seconds(m.time) << " \"" << narrow(m.name) << "\"\n";
    }
    return 0;
}

HRESULT openReader(const std::string& path, ComPtr<media::IWMSyncReader>& reader,
                   std::vector<std::pair<media::WORD, bool>>& streams) {
    HRESULT hr = media::WMCreateSyncReader(nullptr, 0, reader.put());
    if (SUCCEEDED(hr)) {
        hr = reader->Open(platform::utf8ToUtf16(path).c_str());
    }
    ComPtr<media::IWMProfile> profile;
    if (SUCCEEDED(hr)) {
        hr = reader.as(media::IID_IWMProfile, profile);
    }
    media::DWORD count = 0;
    if (SUCCEEDED(hr)) {
        hr = profile->GetStreamCount(&count);
    }
    for (media::DWORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
        ComPtr<media::IWMStreamConfig> config;
        media::WORD number = 0;
        media::GUID type{};
        hr = profile->GetStream(i, config.put());
        if (SUCCEEDED(hr)) {
            hr = config->GetStreamNumber(&number);
        }
        if (SUCCEEDED(hr)) {
            hr = config->GetStreamType(&type);
        }
        streams.emplace_back(number, type == media::WMMEDIATYPE_Video);
    }
    return hr;
}

HRESULT readKeyFrames(const std::string& path, KeyFrames& out, media::QWORD until,
                      media::QWORD from, media::QWORD past) {
    ComPtr<media::IWMSyncReader> reader;
    std::vector<std::pair<media::WORD, bool>> streams;
    HRESULT hr = openReader(path, reader, streams);
    ComPtr<media::IWMHeaderInfo> header;
    if (SUCCEEDED(hr)) {
        hr = reader.as(media::IID_IWMHeaderInfo, header);
    }
    if (SUCCEEDED(hr)) {
        media::WORD fileStream = 0, length = sizeof out.duration;
        media::WMT_ATTR_DATATYPE type;
        hr = header->GetAttributeByName(&fileStream, u"Duration", &type,
                                        reinterpret_cast<media::BYTE*>(&out.duration), &length);
    }
    out.stream = 0;
    for (const auto& [number, isVideo] : streams) {
        if (isVideo) {
            out.stream = number;
        }
    }
    if (SUCCEEDED(hr) && out.stream == 0) {
        return media::ASF_E_NOSTREAMPROPS;
    }
    out.times.clear();
    if (SUCCEEDED(hr) && (from > 0 || past != UINT64_MAX)) {
        hr = media::readCleanPoints(platform::utf8ToUtf16(path), out.stream, from, until, out.times,
                                    past);
        if (hr == media::S_FALSE) {
            return media::S_OK;
        }
        if (SUCCEEDED(hr)) {
            hr = media::readSamplesEnd(platform::utf8ToUtf16(path), out.samplesEnd, &out.cutShort);
        }
        return hr;
    }
    media::WMT_STREAM_SELECTION keysOnly = media::WMT_CLEANPOINT_ONLY;
    if (SUCCEEDED(hr)) {
        hr = reader->SetStreamsSelected(1, &out.stream, &keysOnly);
    }
    if (SUCCEEDED(hr)) {
        hr = reader->SetReadStreamSamples(out.stream, media::TRUE);
    }
    while (SUCCEEDED(hr)) {
        ComPtr<media::INSSBuffer> sample;
        media::QWORD time = 0, duration = 0;
        media::DWORD flags = 0, output = 0;
        media::WORD stream = 0;
        hr = reader->GetNextSample(out.stream, sample.put(), &time, &duration, &flags, &output,
                                   &stream);
        if (SUCCEEDED(hr)) {
            out.times.push_back(time);
            if (time >= until) {
                return hr;
            }
        }
    }
    if (hr == media::NS_E_NO_MORE_SAMPLES) {
        hr = media::readSamplesEnd(platform::utf8ToUtf16(path), out.samplesEnd, &out.cutShort);
    }
    return hr;
}

int keyframesCommand(const std::string& path, std::ostream& out) {
    KeyFrames keys;
    HRESULT hr = readKeyFrames(path, keys);
    if (hr == media::ASF_E_NOSTREAMPROPS) {
        std::cerr << "splicor-cli: " << path << ": the file has no video stream\n";
        return 1;
    }
    if (FAILED(hr)) {
        return fail(path, hr);
    }
    for (std::uint64_t t : keys.times) {
        out << t << "\n";
    }
    return 0;
}

HRESULT readSamples(const std::string& path, const std::function<void(const SampleInfo&)>& each) {
    ComPtr<media::IWMSyncReader> reader;
    std::vector<std::pair<media::WORD, bool>> streams;
    HRESULT hr = openReader(path, reader, streams);
    for (std::size_t i = 0; SUCCEEDED(hr) && i < streams.size(); ++i) {
        hr = reader->SetReadStreamSamples(streams[i].first, media::TRUE);
    }
    while (SUCCEEDED(hr)) {
        ComPtr<media::INSSBuffer> sample;
        SampleInfo info;
        media::DWORD flags = 0, output = 0;
        hr = reader->GetNextSample(0, sample.put(), &info.time, &info.duration, &flags, &output,
                                   &info.stream);
        if (SUCCEEDED(hr)) {
            hr = sample->GetBufferAndLength(&info.data, &info.length);
        }
        if (SUCCEEDED(hr)) {
            info.cleanPoint = (flags & media::WM_SF_CLEANPOINT) != 0;
            each(info);
        }
    }
    return hr == media::NS_E_NO_MORE_SAMPLES ? media::S_OK : hr;
}

int packetsCommand(const std::string& path, std::ostream& out) {
    HRESULT hr = readSamples(path, [&](const SampleInfo& s) {
        if (!out) {
            return;  // the listing cannot be written any more; the command line says why
        }
        out << s.stream << " " << s.time << " " << s.duration << " " << (s.cleanPoint ? 1 : 0)
            << " " << s.length << " " << media::md5Hex(s.data, s.length) << "\n";
    });
    return SUCCEEDED(hr) ? 0 : fail(path, hr);
}

int thumbsCommand(const std::string& path, const std::string& pngPath, std::ostream& out,
                  std::function<void(int)> progress) {
    std::string pattern = (std::filesystem::temp_directory_path() / "splicor-thumbs-XXXXXX");
    if (!::mkdtemp(pattern.data())) {
        std::cerr << "splicor-cli: cannot make a temporary thumbnail directory\n";
        return 1;
    }
    const std::string directory = pattern;
    platform::addTemporaryName(directory, true);
    int status = 1;
    {
        thumbs::ThumbDocument document(path, directory + "/", 0, 0, nullptr);
        // The sheet is drawn from the cache records, so no bitmaps are needed.
        document.backgroundOnly = true;
        document.extractionProgress = std::move(progress);
        document.extract();
        if (!document.ready) {
            std::cerr << "splicor-cli: " << path
                      << ": no thumbnails (not a readable file with a video stream)\n";
        } else if (!thumbs::writeContactSheet(document.cacheFilePath(), document.frameRecords,
                                              pngPath)) {
            std::cerr << "splicor-cli: " << pngPath << ": cannot write the contact sheet\n";
        } else {
            out << document.frameRecords.size() << " thumbnails\n";
            status = 0;
        }
    }  // the document deletes its cache files
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    platform::dropTemporaryName(directory);
    return status;
}

}  // namespace cli
