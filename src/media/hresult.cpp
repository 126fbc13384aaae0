#include "media/hresult.h"

#include <cerrno>
#include <cstdio>

namespace media {

namespace {

struct CodeText {
    HRESULT code;
    const char* name;
    const char* words;
};

const CodeText kCodes[] = {
    {S_OK, "S_OK", "success"},
    {S_FALSE, "S_FALSE", "success, with nothing done"},
    {E_NOTIMPL, "E_NOTIMPL", "the operation is not implemented"},
    {E_NOINTERFACE, "E_NOINTERFACE", "the object does not offer that interface"},
    {E_POINTER, "E_POINTER", "a required pointer is null"},
    {E_ABORT, "E_ABORT", "the operation was aborted"},
    {E_FAIL, "E_FAIL", "unspecified failure"},
    {E_UNEXPECTED, "E_UNEXPECTED", "unexpected failure"},
    {E_ACCESSDENIED, "E_ACCESSDENIED", "access denied"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "out of memory"},
    {E_INVALIDARG, "E_INVALIDARG", "an argument is not valid"},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "ERROR_FILE_NOT_FOUND", "the file was not found"},
    {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "ERROR_PATH_NOT_FOUND", "the folder was not found"},
    {HRESULT_FROM_WIN32(ERROR_INVALID_DATA), "ERROR_INVALID_DATA", "the data is not valid"},
    {HRESULT_FROM_WIN32(ERROR_WRITE_FAULT), "ERROR_WRITE_FAULT", "the file could not be written"},
    {HRESULT_FROM_WIN32(ERROR_READ_FAULT), "ERROR_READ_FAULT", "the file could not be read"},
    {HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), "ERROR_HANDLE_EOF", "the end of the file was reached"},
    {HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), "ERROR_NOT_SUPPORTED",
     "the request is not supported"},
    {HRESULT_FROM_WIN32(ERROR_DISK_FULL), "ERROR_DISK_FULL", "the disk is full"},
    {HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), "ERROR_FILE_EXISTS", "the file already exists"},
    {ASF_E_BUFFERTOOSMALL, "ASF_E_BUFFERTOOSMALL", "the buffer given is too small"},
    {ASF_E_UNKNOWNPACKETSIZE, "ASF_E_UNKNOWNPACKETSIZE", "the file has no fixed data packet size"},
    {ASF_E_INVALIDHEADER, "ASF_E_INVALIDHEADER", "the file's ASF header is damaged"},
    {ASF_E_WRONGVERSION, "ASF_E_WRONGVERSION",
     "the file uses an ASF version that is not supported"},
    {ASF_E_NOTFOUND, "ASF_E_NOTFOUND", "not found"},
    {ASF_E_INVALIDSTATE, "ASF_E_INVALIDSTATE", "the request is not valid in the object's state"},
    {ASF_E_NOHEADEROBJECT, "ASF_E_NOHEADEROBJECT", "the file is not an ASF file"},
    {ASF_E_NODATAOBJECT, "ASF_E_NODATAOBJECT", "the file has no data (it is cut short)"},
    {ASF_E_NOSTREAMPROPS, "ASF_E_NOSTREAMPROPS", "no such stream"},
    {ASF_E_BADMEDIATYPE, "ASF_E_BADMEDIATYPE", "the media type is not supported"},
    {ASF_E_WRITEFAILED, "ASF_E_WRITEFAILED", "the object could not be written"},
    {ASF_E_BADDATAUNIT, "ASF_E_BADDATAUNIT", "a data packet of the file is damaged"},
    {NS_E_FILE_NOT_FOUND, "NS_E_FILE_NOT_FOUND", "the file was not found"},
    {NS_E_INVALID_REQUEST, "NS_E_INVALID_REQUEST",
     "a kept stretch does not begin at a key frame of the file (was the file changed?)"},
    {NS_E_NO_MORE_SAMPLES, "NS_E_NO_MORE_SAMPLES", "no more samples in the stream"},
    {NS_E_DRM_NO_RIGHTS, "NS_E_DRM_NO_RIGHTS",
     "the file is protected (DRM); its content cannot be read or cut"},
};

}  // namespace

HRESULT hresultFromErrno(int error, std::uint32_t otherwise) {
    switch (error) {
        case 0:
            return S_OK;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return E_ACCESSDENIED;
        case ENOENT:
        case ENAMETOOLONG:
            return NS_E_FILE_NOT_FOUND;
        case ENOTDIR:
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        case EEXIST:
            return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
        case ENOMEM:
            return E_OUTOFMEMORY;
        default:
            return HRESULT_FROM_WIN32(otherwise);
    }
}

HRESULT hresultFromFolderErrno(int error) {
    return error == ENOENT || error == ENOTDIR ? HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)
                                               : hresultFromErrno(error);
}

std::string hresultText(HRESULT hr) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(hr));
    for (const CodeText& c : kCodes) {
        if (c.code == hr) {
            return std::string(c.name) + " (" + hex + "): " + c.words;
        }
    }
    return std::string(FAILED(hr) ? "failure" : "success") + " (" + hex + ")";
}

}  // namespace media
