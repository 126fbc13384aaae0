#pragma once

// Result codes of the media runtime, with the values the platform runtime documents. Every
// interface method returns one; a negative code is a failure.

#include <cstdint>
#include <string>

namespace media {

using HRESULT = std::int32_t;

constexpr HRESULT makeHresult(std::uint32_t bits) {
    return static_cast<HRESULT>(bits);
}
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

// A Win32 error code carried as a failure.
constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t error) {
    return static_cast<std::int32_t>(error) <= 0
               ? static_cast<HRESULT>(error)
               : makeHresult((error & 0x0000FFFFu) | (7u << 16) | 0x80000000u);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = makeHresult(0x80004001u);
constexpr HRESULT E_NOINTERFACE = makeHresult(0x80004002u);
constexpr HRESULT E_POINTER = makeHresult(0x80004003u);
constexpr HRESULT E_ABORT = makeHresult(0x80004004u);
constexpr HRESULT E_FAIL = makeHresult(0x80004005u);
constexpr HRESULT E_UNEXPECTED = makeHresult(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = makeHresult(0x80070005u);
constexpr HRESULT E_OUTOFMEMORY = makeHresult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = makeHresult(0x80070057u);

// Win32 errors the runtime reports through HRESULT_FROM_WIN32.
constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr std::uint32_t ERROR_PATH_NOT_FOUND = 3;
constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
constexpr std::uint32_t ERROR_INVALID_DATA = 13;
constexpr std::uint32_t ERROR_WRITE_FAULT = 29;
constexpr std::uint32_t ERROR_READ_FAULT = 30;
constexpr std::uint32_t ERROR_HANDLE_EOF = 38;
constexpr std::uint32_t ERROR_NOT_SUPPORTED = 50;
constexpr std::uint32_t ERROR_FILE_EXISTS = 80;
constexpr std::uint32_t ERROR_DISK_FULL = 112;

// Container errors.
constexpr HRESULT ASF_E_BUFFERTOOSMALL = makeHresult(0xC00D07D1u);
constexpr HRESULT ASF_E_UNKNOWNPACKETSIZE = makeHresult(0xC00D07E0u);
constexpr HRESULT ASF_E_INVALIDHEADER = makeHresult(0xC00D07E2u);
constexpr HRESULT ASF_E_WRONGVERSION = makeHresult(0xC00D07EEu);
constexpr HRESULT ASF_E_NOTFOUND = makeHresult(0xC00D07F0u);
constexpr HRESULT ASF_E_INVALIDSTATE = makeHresult(0xC00D07F5u);
constexpr HRESULT ASF_E_NOHEADEROBJECT = makeHresult(0xC00D07F9u);
constexpr HRESULT ASF_E_NODATAOBJECT = makeHresult(0xC00D07FAu);
constexpr HRESULT ASF_E_NOSTREAMPROPS = makeHresult(0xC00D07FCu);
constexpr HRESULT ASF_E_BADMEDIATYPE = makeHresult(0xC00D0807u);
constexpr HRESULT ASF_E_WRITEFAILED = makeHresult(0xC00D0808u);
constexpr HRESULT ASF_E_BADDATAUNIT = makeHresult(0xC00D080Du);

// Runtime errors.
constexpr HRESULT NS_E_FILE_NOT_FOUND = makeHresult(0xC00D001Au);
constexpr HRESULT NS_E_INVALID_REQUEST = makeHresult(0xC00D002Bu);
constexpr HRESULT NS_E_NO_MORE_SAMPLES = makeHresult(0xC00D0BCFu);
constexpr HRESULT NS_E_DRM_NO_RIGHTS = makeHresult(0xC00D2720u);

// The one mapping of system errors (errno values) to result codes, for every part of the program
// that meets them: no space or quota left is a full disk; permissions and read-only file
// systems deny access; a missing file or folder is not found; anything else is `otherwise`
// (a read or write fault, as the caller was reading or writing).
HRESULT hresultFromErrno(int error, std::uint32_t otherwise = ERROR_WRITE_FAULT);

// The same for an error met looking up a folder (the one a file is to go into): a folder that
// is not there, or is not a folder, is ERROR_PATH_NOT_FOUND rather than a missing file.
HRESULT hresultFromFolderErrno(int error);

// Returns the result of `expression` from the calling function when it is a failure: for
// steps that each must succeed before the next is tried.
#define RETURN_IF_FAILED(expression)                   \
    do {                                               \
        const ::media::HRESULT failed_ = (expression); \
        if (::media::FAILED(failed_)) {                \
            return failed_;                            \
        }                                              \
    } while (false)

// The code in words, e.g. "NS_E_NO_MORE_SAMPLES (0xC00D0BCF): no more samples in the stream".
std::string hresultText(HRESULT hr);

}  // namespace media
