#include "harness/remux.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "harness/reader_callback.h"
#include "media/wmsdk.h"
#include "platform/event.h"
#include "platform/text.h"

namespace remux {

namespace {

using namespace media;

constexpr QWORD kSecond = 10000000;

// The reader's callback: writes every sample it is given and grants the reader one more second
// whenever it has reached the time granted so far.
class Copier final : public testsupport::StackReaderCallback {
public:
    HRESULT OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE, BYTE*, void*) override {
        // A source cut short is copied as far as it goes.
        if (status == WMT_END_OF_FILE && hr == ASF_E_NODATAOBJECT) {
            hr = S_OK;
        }
        if (FAILED(hr)) {
            finish(hr);
        } else if (status == WMT_OPENED || status == WMT_END_OF_FILE) {
            finish(S_OK);
        } else if (status == WMT_STARTED) {
            granted = kSecond;
            HRESULT dr = reader->DeliverTime(granted);
            if (FAILED(dr)) {
                finish(dr);
            }
        }
        return S_OK;
    }
    HRESULT OnSample(DWORD, QWORD, QWORD, DWORD, INSSBuffer*, void*) override {
        finish(E_UNEXPECTED);
        return S_OK;
    }
    HRESULT OnStreamSample(WORD stream, QWORD time, QWORD duration, DWORD flags, INSSBuffer* sample,
                           void*) override {
        if (FAILED(result)) {
            return S_OK;
        }
        HRESULT hr = writer->WriteStreamSample(stream, time, 0, duration, flags, sample);
        if (FAILED(hr)) {
            finish(hr);
        } else {
            ++samples;
        }
        return S_OK;
    }
    HRESULT OnTime(QWORD, void*) override {
        granted += kSecond;
        HRESULT hr = reader->DeliverTime(granted);
        if (FAILED(hr)) {
            finish(hr);
        }
        return S_OK;
    }

    // Stores the outcome before waking the waiting thread, as the cut engine's callbacks do.
    void finish(HRESULT hr) {
        if (SUCCEEDED(result)) {
            result = hr;
        }
        done.signal();
    }
    HRESULT wait() {
        done.wait();
        return result;
    }

    platform::Event done;
    std::atomic<HRESULT> result{S_OK};
    IWMReaderAdvanced* reader = nullptr;
    IWMWriterAdvanced* writer = nullptr;
    QWORD granted = 0;
    uint64_t samples = 0;
};

struct Session {
    ComPtr<IWMReader> reader;
    ComPtr<IWMReaderAdvanced> readerAdvanced;
    ComPtr<IWMHeaderInfo> readerHeader;
    ComPtr<IWMProfile> profile;
    ComPtr<IWMWriter> writer;
    ComPtr<IWMWriterAdvanced> writerAdvanced;
    ComPtr<IWMHeaderInfo> writerHeader;
    std::vector<WORD> streams;
    Result result;

    bool step(const char* name, HRESULT hr) {
        if (FAILED(hr) && SUCCEEDED(result.hr)) {
            result.hr = hr;
            result.step = name;
        }
        return SUCCEEDED(result.hr);
    }
};

bool openSource(Session& s, Copier& copier, const std::string& source) {
    if (!s.step("WMCreateReader", WMCreateReader(nullptr, 0, s.reader.put())) ||
        !s.step("IWMReaderAdvanced", s.reader.as(IID_IWMReaderAdvanced, s.readerAdvanced)) ||
        !s.step("IWMHeaderInfo", s.reader.as(IID_IWMHeaderInfo, s.readerHeader))) {
        return false;
    }
    copier.reader = s.readerAdvanced.get();
    if (!s.step("Open", s.reader->Open(platform::utf8ToUtf16(source).c_str(), &copier, nullptr)) ||
        !s.step("opening", copier.wait()) ||
        !s.step("SetUserProvidedClock", s.readerAdvanced->SetUserProvidedClock(TRUE)) ||
        !s.step("SetManualStreamSelection", s.readerAdvanced->SetManualStreamSelection(TRUE)) ||
        !s.step("IWMProfile", s.reader.as(IID_IWMProfile, s.profile))) {
        return false;
    }
    DWORD count = 0;
    if (!s.step("GetStreamCount", s.profile->GetStreamCount(&count))) {
        return false;
    }
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IWMStreamConfig> config;
        WORD number = 0;
        if (!s.step("GetStream", s.profile->GetStream(i, config.put())) ||
            !s.step("GetStreamNumber", config->GetStreamNumber(&number)) ||
            !s.step("SetReceiveStreamSamples",
                    s.readerAdvanced->SetReceiveStreamSamples(number, TRUE))) {
            return false;
        }
        s.streams.push_back(number);
    }
    return true;
}

bool createWriter(Session& s, const std::string& output) {
    DWORD inputs = 0;
    if (!s.step("WMCreateWriter", WMCreateWriter(nullptr, s.writer.put())) ||
        !s.step("IWMWriterAdvanced", s.writer.as(IID_IWMWriterAdvanced, s.writerAdvanced)) ||
        !s.step("IWMHeaderInfo (writer)", s.writer.as(IID_IWMHeaderInfo, s.writerHeader)) ||
        !s.step("SetProfile", s.writer->SetProfile(s.profile.get())) ||
        !s.step("GetInputCount", s.writer->GetInputCount(&inputs))) {
        return false;
    }
    for (DWORD i = 0; i < inputs; ++i) {
        if (!s.step("SetInputProps", s.writer->SetInputProps(i, nullptr))) {
            return false;
        }
    }
    return s.step("SetOutputFilename",
                  s.writer->SetOutputFilename(platform::utf8ToUtf16(output).c_str()));
}

bool copyAttributes(Session& s) {
    std::vector<WORD> streams = s.streams;
    streams.push_back(0);  // the file's own attributes last
    for (WORD stream : streams) {
        WORD count = 0;
        if (!s.step("GetAttributeCount", s.readerHeader->GetAttributeCount(stream, &count))) {
            return false;
        }
        for (WORD j = 0; j < count; ++j) {
            WORD number = stream, nameLength = 0, valueLength = 0;
            WMT_ATTR_DATATYPE type;
            if (!s.step("GetAttributeByIndex",
                        s.readerHeader->GetAttributeByIndex(j, &number, nullptr, &nameLength, &type,
                                                            nullptr, &valueLength))) {
                return false;
            }
            std::u16string name(nameLength, u'\0');
            std::vector<BYTE> value(valueLength);
            if (!s.step("GetAttributeByIndex",
                        s.readerHeader->GetAttributeByIndex(j, &number, name.data(), &nameLength,
                                                            &type, value.data(), &valueLength))) {
                return false;
            }
            HRESULT hr =
                s.writerHeader->SetAttribute(stream, name.c_str(), type, value.data(), valueLength);
            if (hr == E_INVALIDARG) {
                ++s.result.refusedAttributes;
            } else if (!s.step("SetAttribute", hr)) {
                return false;
            }
        }
    }
    return true;
}

bool copyCodecsAndScripts(Session& s) {
    ComPtr<IWMHeaderInfo3> from, to;
    DWORD codecs = 0;
    if (!s.step("IWMHeaderInfo3", s.readerHeader.as(IID_IWMHeaderInfo3, from)) ||
        !s.step("IWMHeaderInfo3 (writer)", s.writerHeader.as(IID_IWMHeaderInfo3, to)) ||
        !s.step("GetCodecInfoCount", from->GetCodecInfoCount(&codecs))) {
        return false;
    }
    for (DWORD i = 0; i < codecs; ++i) {
        WORD nameLength = 0, descriptionLength = 0, infoLength = 0;
        WMT_CODEC_INFO_TYPE type;
        if (!s.step("GetCodecInfo", from->GetCodecInfo(i, &nameLength, nullptr, &descriptionLength,
                                                       nullptr, &type, &infoLength, nullptr))) {
            return false;
        }
        std::u16string name(nameLength, u'\0'), description(descriptionLength, u'\0');
        std::vector<BYTE> info(infoLength);
        if (!s.step("GetCodecInfo",
                    from->GetCodecInfo(i, &nameLength, name.data(), &descriptionLength,
                                       description.data(), &type, &infoLength, info.data())) ||
            !s.step("AddCodecInfo", to->AddCodecInfo(name.c_str(), description.c_str(), type,
                                                     infoLength, info.data()))) {
            return false;
        }
    }
    WORD scripts = 0;
    if (!s.step("GetScriptCount", s.readerHeader->GetScriptCount(&scripts))) {
        return false;
    }
    for (WORD i = 0; i < scripts; ++i) {
        WORD typeLength = 0, commandLength = 0;
        QWORD time = 0;
        if (!s.step("GetScript", s.readerHeader->GetScript(i, nullptr, &typeLength, nullptr,
                                                           &commandLength, &time))) {
            return false;
        }
        std::u16string type(typeLength, u'\0'), command(commandLength, u'\0');
        if (!s.step("GetScript",
                    s.readerHeader->GetScript(i, type.data(), &typeLength, command.data(),
                                              &commandLength, &time)) ||
            !s.step("AddScript", s.writerHeader->AddScript(type.c_str(), command.c_str(), time))) {
            return false;
        }
    }
    return true;
}

bool finishOutput(Session& s, const std::string& output) {
    ComPtr<IWMMetadataEditor> editor;
    ComPtr<IWMHeaderInfo> header;
    return s.step("WMCreateEditor", WMCreateEditor(editor.put())) &&
           s.step("editor Open", editor->Open(platform::utf8ToUtf16(output).c_str())) &&
           s.step("editor IWMHeaderInfo", editor.as(IID_IWMHeaderInfo, header)) &&
           s.step("Flush", editor->Flush()) && s.step("Close", editor->Close());
}

}  // namespace

Result remuxFile(const std::string& source, const std::string& output) {
    Copier copier;
    Session s;
    if (openSource(s, copier, source) && createWriter(s, output) && copyAttributes(s) &&
        copyCodecsAndScripts(s)) {
        copier.writer = s.writerAdvanced.get();
        if (s.step("BeginWriting", s.writer->BeginWriting()) &&
            s.step("Start", s.reader->Start(0, 0, 1.0f, nullptr)) &&
            s.step("transfer", copier.wait())) {
            s.step("EndWriting", s.writer->EndWriting());
        }
    }
    if (s.reader) {
        s.reader->Close();
    }
    s.result.samples = copier.samples;
    if (SUCCEEDED(s.result.hr)) {
        finishOutput(s, output);
    }
    return s.result;
}

}  // namespace remux
