#pragma once

// The metadata editor (WMCreateEditor): opens a file, shows its header through IWMHeaderInfo3
// as the readers do, and writes changed attributes, codec descriptions and script commands back.
//
// Flush saves the changes and closes the file; Close closes it without saving. Flush writes
// nothing when nothing changed. Only the objects whose content changed are rebuilt; every other
// object, the data and the indexes stay byte for byte. When the new header fits the old one's
// place (its padding absorbs the difference) it is written in place; otherwise the whole file is
// written anew under a temporary name beside it and renamed over it, so a failure leaves the
// original as it was.
//
// Threads: one call at a time.

#include <optional>

#include "asf/header_writer.h"
#include "media/header_data.h"
#include "media/source_file.h"
#include "media/wmsdk.h"

namespace media {

// Created as ComObject<MetadataEditor>, which counts its references.
class MetadataEditor : public IWMMetadataEditor, public HeaderInfoBase {
public:
    MetadataEditor();

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;

    HRESULT Open(LPCWSTR pwszFilename) override;
    HRESULT Close() override;
    HRESULT Flush() override;

protected:
    HeaderData* headerData() override;
    bool headerWritable() const override;
    HRESULT checkAttribute(const Attribute& attribute) override;

    ~MetadataEditor();

private:
    HRESULT save();
    HRESULT writeInPlace(const std::vector<uint8_t>& header);
    HRESULT rewriteFile(const asf::HeaderLayout& layout);

    std::string path_;
    // The open file; empty when none is open.
    std::optional<SourceFile> file_;
    // The descriptive objects as the file had them when it was opened.
    asf::HeaderMetadata original_;
};

}  // namespace media
