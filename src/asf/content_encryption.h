#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/status.h"

namespace asf {

// The Content Encryption Object of the first DRM system. Its presence alone marks the file as
// protected; the fields are kept for display.
struct ContentEncryption {
    std::vector<uint8_t> secretData;
    std::string protectionType;  // "DRM"
    std::string keyId;
    std::string licenseUrl;

    Status parse(ByteReader& body);
};

// The Extended Content Encryption Object of later DRM systems: an opaque block (an XML header
// in UTF-16).
struct ExtendedContentEncryption {
    std::vector<uint8_t> data;

    Status parse(ByteReader& body);
};

// The Digital Signature Object: signs the header, so any header edit invalidates it.
struct DigitalSignature {
    uint32_t type = 0;
    std::vector<uint8_t> data;

    Status parse(ByteReader& body);
};

}  // namespace asf
