#include "media/metadata_editor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "asf/byte_writer.h"
#include "asf/guids.h"
#include "asf/output_file.h"
#include "media/header_attributes.h"
#include "media/writer.h"
#include "platform/files.h"
#include "platform/text.h"

namespace media {

namespace {

// Room left for later edits when the file has to be written anew.
constexpr uint64_t kHeaderReserve = 2048;
constexpr std::size_t kCopyBlock = std::size_t{1} << 20;

// Stream attributes only the writer may set: they describe how the stream was encoded.
const char16_t* const kWriterOnlyNames[] = {u"AspectRatioX", u"AspectRatioY", u"IsVBR",
                                            u"BufferAverage", u"VBRPeak"};

}  // namespace

HRESULT WMCreateEditor(IWMMetadataEditor** ppEditor) {
    if (!ppEditor) {
        return E_POINTER;
    }
    *ppEditor = new ComObject<MetadataEditor>();
    return S_OK;
}

MetadataEditor::MetadataEditor() = default;

MetadataEditor::~MetadataEditor() = default;

HRESULT MetadataEditor::QueryInterface(REFIID riid, void** ppv) {
    return queryInterface(
        riid, ppv,
        {{{IID_IUnknown, IID_IWMMetadataEditor}, static_cast<IWMMetadataEditor*>(this)},
         {{IID_IWMHeaderInfo, IID_IWMHeaderInfo2, IID_IWMHeaderInfo3},
          static_cast<IWMHeaderInfo3*>(this)}});
}

HeaderData* MetadataEditor::headerData() {
    return file_ ? &file_->header : nullptr;
}

bool MetadataEditor::headerWritable() const {
    return file_.has_value();
}

HRESULT MetadataEditor::checkAttribute(const Attribute& attribute) {
    HRESULT hr = checkStorable(attribute);
    if (FAILED(hr)) {
        return hr;
    }
    for (const char16_t* name : kWriterOnlyNames) {
        if (attribute.name == name) {
            return E_INVALIDARG;
        }
    }
    if (attribute.stream != 0 && !file_->stream(attribute.stream)) {
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT MetadataEditor::Open(LPCWSTR pwszFilename) {
    if (!pwszFilename) {
        return E_INVALIDARG;
    }
    if (file_) {
        return ASF_E_INVALIDSTATE;
    }
    SourceFile file;
    HRESULT hr = openSourceFile(pwszFilename, file);
    if (FAILED(hr)) {
        return hr;
    }
    path_ = platform::utf16ToUtf8(pwszFilename);
    original_ = storedMetadata(file.header);
    file_ = std::move(file);
    return S_OK;
}

HRESULT MetadataEditor::Close() {
    file_.reset();
    return S_OK;
}

HRESULT MetadataEditor::Flush() {
    if (!file_) {
        return ASF_E_INVALIDSTATE;
    }
    HRESULT hr = save();
    file_.reset();
    return hr;
}

HRESULT MetadataEditor::save() {
    asf::HeaderRewrite rewrite;
    asf::replaceMetadata(storedMetadata(file_->header), &original_, rewrite);
    if (rewrite.replace.empty() && rewrite.replaceInExtension.empty()) {
        return S_OK;
    }
    // A signature covers the header it was made for.
    rewrite.drop.insert(asf::kDigitalSignatureObject);
    const asf::Header& header = file_->file->header();
    const asf::HeaderLayout layout = asf::rewriteLayout(header, rewrite);
    std::vector<uint8_t> bytes;
    if (asf::writeHeader(layout, header.size, bytes)) {
        return writeInPlace(bytes);
    }
    return rewriteFile(layout);
}

HRESULT MetadataEditor::writeInPlace(const std::vector<uint8_t>& header) {
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return hresultFromErrno(errno);
    }
    int error = platform::writeFullyAt(fd, 0, header.data(), header.size()) ? 0 : errno;
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    ::close(fd);
    return error == 0 ? S_OK : hresultFromErrno(error);
}

HRESULT MetadataEditor::rewriteFile(const asf::HeaderLayout& layout) {
    const asf::File& source = *file_->file;
    const uint64_t oldHeaderSize = source.header().size;
    const uint64_t newHeaderSize = asf::headerSize(layout) + kHeaderReserve;
    const uint64_t rest = source.fileSize() - oldHeaderSize;

    // The file's size is the one thing in the kept objects that changes with the header's.
    asf::HeaderLayout sized = layout;
    for (std::vector<uint8_t>& object : sized.objects) {
        if (asf::Guid::fromBytes(object.data()) == asf::kFilePropertiesObject) {
            asf::FileProperties fp = source.header().fileProperties;
            fp.fileSize = newHeaderSize + rest;
            asf::ByteWriter w;
            fp.write(w);
            object = w.take();
        }
    }
    std::vector<uint8_t> header;
    if (!asf::writeHeader(sized, newHeaderSize, header)) {
        return ASF_E_INVALIDHEADER;
    }
    asf::OutputFile out;
    if (!out.create(path_) || !out.append(header)) {
        return hresultFromErrno(out.error());
    }
    struct stat st;
    if (::stat(path_.c_str(), &st) == 0 && !out.setMode(st.st_mode & 07777)) {
        return hresultFromErrno(out.error());
    }
    std::unique_ptr<asf::FileSource> in;
    if (asf::FileSource::open(path_, in) != asf::Status::Ok) {
        return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    }
    std::vector<uint8_t> block(kCopyBlock);
    for (uint64_t at = oldHeaderSize; at < source.fileSize();) {
        std::size_t got = 0;
        const std::size_t want =
            static_cast<std::size_t>(std::min<uint64_t>(kCopyBlock, source.fileSize() - at));
        if (in->readAt(at, block.data(), want, got) != asf::Status::Ok || got != want) {
            return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
        }
        if (!out.append(block.data(), got)) {
            return hresultFromErrno(out.error());
        }
        at += got;
    }
    // The original is replaced only by a complete copy that is safely on the disk.
    return out.commit(true) ? S_OK : hresultFromErrno(out.error());
}

}  // namespace media
