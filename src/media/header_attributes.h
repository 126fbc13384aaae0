#pragma once

// The header's attributes both ways: how what a file stores (Content Description fields,
// attribute records, codec list entries, script commands) shows through the attribute API when
// a file is read, and how what the API was given is stored when one is written. Every fact
// (names, type codes, value sizes, codec types, script time units) stands in one table here.

#include <string>

#include "asf/header_writer.h"
#include "media/header_data.h"

namespace media {

// Names the runtime derives itself; a header never stores them.
bool isDerivedAttribute(const std::u16string& name);

// Adds the stored attributes (Content Description fields first, then the records of the
// Extended Content Description, Metadata and Metadata Library Objects), codec descriptions and
// script commands to `data`. Records of a type the API does not know, GUIDs of another size
// than 16 bytes, and records named like derived attributes are left out.
void addStoredMetadata(const asf::HeaderMetadata& stored, HeaderData& data);

// How a header's attributes, codec descriptions and script commands are stored: Title, Author,
// Copyright, Description and Rating in the Content Description Object, other file attributes
// in the Extended Content Description Object, stream attributes in the Metadata Object, and
// whatever needs a language or a GUID value in the Metadata Library Object. Attributes the
// runtime derives are left out. Script times become whole milliseconds.
asf::HeaderMetadata storedMetadata(const HeaderData& data);

// Whether an attribute can be stored as it is: E_INVALIDARG for names the runtime derives itself
// or does not store, values whose length does not match their type, and text or binary values
// that do not fit a header record.
HRESULT checkStorable(const Attribute& attribute);

// Whether a script command at this media time can be stored (in 32 bits of milliseconds).
bool scriptTimeStorable(QWORD time);

}  // namespace media
