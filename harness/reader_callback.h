#pragma once

// The COM plumbing of a reader callback that lives on its caller's stack, which outlives the
// reader: both callback interfaces, a reference count that frees nothing, and answers to the
// advanced calls that a reader delivering compressed samples makes no use of. Subclasses give
// OnStatus, OnSample, OnStreamSample and OnTime.

#include <atomic>

#include "media/wmsdk.h"

namespace testsupport {

class StackReaderCallback : public media::IWMReaderCallback,
                            public media::IWMReaderCallbackAdvanced {
public:
    media::HRESULT QueryInterface(media::REFIID riid, void** ppv) override {
        if (!ppv) {
            return media::E_POINTER;
        }
        if (riid == media::IID_IUnknown || riid == media::IID_IWMStatusCallback ||
            riid == media::IID_IWMReaderCallback) {
            *ppv = static_cast<media::IWMReaderCallback*>(this);
        } else if (riid == media::IID_IWMReaderCallbackAdvanced) {
            *ppv = static_cast<media::IWMReaderCallbackAdvanced*>(this);
        } else {
            *ppv = nullptr;
            return media::E_NOINTERFACE;
        }
        AddRef();
        return media::S_OK;
    }
    media::ULONG AddRef() override { return ++refs; }
    media::ULONG Release() override { return --refs; }

    media::HRESULT OnStreamSelection(media::WORD, media::WORD*, media::WMT_STREAM_SELECTION*,
                                     void*) override {
        return media::S_OK;
    }
    media::HRESULT OnOutputPropsChanged(media::DWORD, media::WM_MEDIA_TYPE*, void*) override {
        return media::S_OK;
    }
    media::HRESULT AllocateForStream(media::WORD, media::DWORD, media::INSSBuffer**,
                                     void*) override {
        return media::E_NOTIMPL;
    }
    media::HRESULT AllocateForOutput(media::DWORD, media::DWORD, media::INSSBuffer**,
                                     void*) override {
        return media::E_NOTIMPL;
    }

    std::atomic<media::ULONG> refs{1};

protected:
    // Never deleted through a base: the subclass lives on its caller's stack.
    ~StackReaderCallback() = default;
};

}  // namespace testsupport
