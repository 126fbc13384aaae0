#pragma once

// The writer (WMCreateWriter): writes an ASF file with the streams of a reader's profile from
// compressed samples handed over unchanged, with the attributes, codec descriptions and script
// commands set on its header.
//
// Order of calls: SetProfile (a profile a reader of this runtime handed out), then the header
// (SetAttribute, AddCodecInfo, AddScript) and SetOutputFilename, then BeginWriting,
// WriteStreamSample for every sample, EndWriting. A call out of this order fails with
// ASF_E_INVALIDSTATE; the header cannot change once writing has begun.
//
// What is written: the source's stream objects byte for byte (an audio spread stream keeps its
// spread, so its objects, which readers hand out in natural order, are interleaved again), new
// file properties, the header data, then packets of the source's size holding the samples in
// the order given, and a Simple Index for each visible video stream. A packet's send time is the
// earliest time any payload in it or after it is due: send times never decrease and no payload
// is sent after its presentation time. BeginWriting writes the header (with room to spare for
// later edits in place) marked as a broadcast of unknown size; EndWriting writes it again, at the
// same size, with the final values.
//
// The file is written under a temporary name beside the output name and renamed to it by
// EndWriting, so the output name shows either nothing new or a finished file: a failure, or a
// writer released before EndWriting, removes the temporary file. After a failed write every
// later call fails with the same code. Samples are written to the disk as packets fill; only the
// send time of each packet and the key frames of the video streams are remembered until the end.
//
// Threads: any thread may call, one call at a time per writer (the cut engine writes samples
// from the reader's callback thread and begins and ends from its own).

#include <memory>
#include <mutex>

#include "media/header_data.h"
#include "media/profile.h"
#include "media/wmsdk.h"

namespace media {

// What this runtime's writer offers beyond the platform's operations: the length the finished
// file states. A cut keeps stretches whose last sample may end before the stretch does (a
// last frame shown until the end); the file is as long as what was kept.
extern const IID IID_WriterLength;
class WriterLength : public IUnknown {
public:
    // The finished file's play duration (100-ns units, without the preroll) is at least this.
    // Before EndWriting.
    virtual HRESULT SetMinimumDuration(QWORD cnsDuration) = 0;

protected:
    ~WriterLength() = default;
};

// Created as ComObject<Writer>, which counts its references.
class Writer : public IWMWriter,
               public IWMWriterAdvanced,
               public WriterLength,
               public HeaderInfoBase {
public:
    Writer();

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;

    HRESULT SetProfile(IWMProfile* pProfile) override;
    HRESULT SetOutputFilename(LPCWSTR pwszFilename) override;
    HRESULT GetInputCount(DWORD* pcInputs) override;
    HRESULT SetInputProps(DWORD dwInputNum, IWMInputMediaProps* pInput) override;
    HRESULT BeginWriting() override;
    HRESULT EndWriting() override;

    HRESULT WriteStreamSample(WORD wStreamNum, QWORD cnsSampleTime, DWORD msSampleSendTime,
                              QWORD cnsSampleDuration, DWORD dwFlags, INSSBuffer* pSample) override;

    HRESULT SetMinimumDuration(QWORD cnsDuration) override;

    HRESULT AddScript(LPCWSTR pwszType, LPCWSTR pwszCommand, QWORD cnsScriptTime) override;
    HRESULT AddCodecInfo(LPCWSTR pwszName, LPCWSTR pwszDescription, WMT_CODEC_INFO_TYPE codecType,
                         WORD cbCodecInfo, const BYTE* pbCodecInfo) override;

    struct Output;

protected:
    HeaderData* headerData() override;
    bool headerWritable() const override;
    HRESULT checkAttribute(const Attribute& attribute) override;

    ~Writer();

private:
    enum class State { Created, Ready, Writing, Finished, Failed };

    HRESULT fail(HRESULT hr);

    // Guards the state, the profile and the output. The header data is changed only before
    // BeginWriting, by the one thread that sets the writer up.
    mutable std::mutex lock_;
    State state_ = State::Created;
    HRESULT failure_ = S_OK;
    std::shared_ptr<const ProfileData> profile_;
    std::u16string outputPath_;
    QWORD minimumDuration_ = 0;
    HeaderData header_;
    std::unique_ptr<Output> output_;
};

}  // namespace media
