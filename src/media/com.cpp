#include "media/com.h"

#include <cstdio>

namespace media {

const IID IID_IUnknown = GUID::fromString("00000000-0000-0000-C000-000000000046");

GUID GUID::fromString(const char* text) {
    GUID g{};
    unsigned d1, d2, d3, b[8];
    int consumed = 0;
    if (std::sscanf(text, "%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x%n", &d1, &d2, &d3, &b[0], &b[1],
                    &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &consumed) != 11 ||
        consumed != 36) {
        return GUID{};
    }
    g.Data1 = d1;
    g.Data2 = static_cast<std::uint16_t>(d2);
    g.Data3 = static_cast<std::uint16_t>(d3);
    for (int i = 0; i < 8; ++i) {
        g.Data4[i] = static_cast<std::uint8_t>(b[i]);
    }
    return g;
}

HRESULT queryInterface(REFIID riid, void** ppv, std::initializer_list<OfferedInterface> offered) {
    if (!ppv) {
        return E_POINTER;
    }
    for (const OfferedInterface& o : offered) {
        for (const IID& id : o.ids) {
            if (riid == id) {
                *ppv = o.object;
                o.object->AddRef();
                return S_OK;
            }
        }
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

std::string GUID::toString() const {
    char s[40];
    std::snprintf(s, sizeof s, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", Data1, Data2,
                  Data3, Data4[0], Data4[1], Data4[2], Data4[3], Data4[4], Data4[5], Data4[6],
                  Data4[7]);
    return s;
}

}  // namespace media
