#include "dfufilebuilder.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace dfutest {

namespace {

void put16(Bytes& b, uint32_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void put32(Bytes& b, uint32_t v)
{
    put16(b, v);
    put16(b, v >> 16);
}

} // namespace

Bytes dfuseImage(const std::vector<Target>& targets, uint8_t version)
{
    Bytes body;
    for (const Target& t : targets) {
        Bytes elements;
        for (const Element& e : t.elements) {
            put32(elements, e.address);
            put32(elements, uint32_t(e.data.size()));
            elements.insert(elements.end(), e.data.begin(), e.data.end());
        }
        const char sig[] = "Target";
        body.insert(body.end(), sig, sig + 6);
        body.push_back(t.alt);
        put32(body, t.name.empty() ? 0 : 1);
        Bytes name(255, 0);
        std::copy(t.name.begin(), t.name.begin() + std::min<size_t>(t.name.size(), 254), name.begin());
        body.insert(body.end(), name.begin(), name.end());
        put32(body, uint32_t(elements.size()));
        put32(body, uint32_t(t.elements.size()));
        body.insert(body.end(), elements.begin(), elements.end());
    }
    Bytes out = {'D', 'f', 'u', 'S', 'e', version};
    put32(out, uint32_t(11 + body.size()));
    out.push_back(uint8_t(targets.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

uint32_t suffixCrc(const uint8_t* data, size_t length)
{
    return uint32_t(crc32(0L, data, uInt(length))) ^ 0xFFFFFFFFu;
}

Bytes withSuffix(Bytes bytes, const Suffix& s)
{
    put16(bytes, s.bcdDevice);
    put16(bytes, s.idProduct);
    put16(bytes, s.idVendor);
    put16(bytes, s.bcdDFU);
    for (size_t i = 0; i < 3; ++i)
        bytes.push_back(i < s.signature.size() ? uint8_t(s.signature[i]) : 0);
    bytes.push_back(s.bLength);
    uint32_t crc = suffixCrc(bytes.data(), bytes.size());
    if (s.wrongCrc)
        crc ^= 0x00010000u;
    put32(bytes, crc);
    return bytes;
}

Bytes dfuseFile(const std::vector<Target>& targets, uint16_t vendor, uint16_t product)
{
    Suffix s;
    s.idVendor = vendor;
    s.idProduct = product;
    s.bcdDFU = 0x011A;
    return withSuffix(dfuseImage(targets), s);
}

Bytes dfuseFileAt(uint32_t address, Bytes data)
{
    Target t;
    t.name = "ST...";
    t.elements = {Element{address, std::move(data)}};
    return dfuseFile({t});
}

Bytes loadAddressPrefix(uint32_t address, uint32_t payloadLength)
{
    Bytes b = {0x01, 0x00};
    put16(b, address / 1024);
    put32(b, payloadLength);
    return b;
}

Bytes blockCountPrefix(uint32_t payloadLength)
{
    Bytes b = {0x1A, 0x3F};
    put16(b, (payloadLength + 511) / 512);
    b.insert(b.end(), 8, 0x00);
    b.insert(b.end(), 4, 0xFF);
    return b;
}

uint64_t fwinfoHash(const uint8_t* data, size_t length)
{
    const uint64_t m = 0x880355f21e6d1965ull;
    const auto mix = [](uint64_t x) {
        x ^= x >> 23;
        x *= 0x2127599bf4325c37ull;
        return x ^ (x >> 47);
    };
    uint64_t h = length * m;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t v = 0;
        std::memcpy(&v, data + i, 8); // the tests run on little-endian machines
        h = (h ^ mix(v)) * m;
    }
    if (i < length) {
        uint64_t v = 0;
        std::memcpy(&v, data + i, length - i);
        h = (h ^ mix(v)) * m;
    }
    return mix(h);
}

Bytes fwinfoMarker()
{
    const char marker[] = "_FWINFO_";
    return Bytes(marker, marker + 8);
}

Bytes fwinfoRecord(const FwInfo& info)
{
    Bytes b = fwinfoMarker();
    put32(b, 0xA5A5A5A5);
    put16(b, info.version);
    put32(b, uint32_t(info.deviceType));
    put32(b, uint32_t(info.deviceVersion));
    put32(b, uint32_t(info.programVersion));
    put32(b, uint32_t(info.programRevision));
    put32(b, uint32_t(info.compileTime));
    put32(b, uint32_t(info.serial));
    put32(b, uint32_t(info.serial >> 32));
    put32(b, uint32_t(info.entryCount < 0 ? int64_t(info.entries.size()) : info.entryCount));
    for (Bytes e : info.entries) {
        e.resize(18, 0);
        b.insert(b.end(), e.begin(), e.end());
    }
    uint64_t hash = fwinfoHash(b.data(), b.size());
    if (info.brokenHash)
        hash ^= 1;
    put32(b, uint32_t(hash));
    put32(b, uint32_t(hash >> 32));
    return b;
}

Bytes pattern(size_t n, uint32_t seed)
{
    Bytes b(n);
    uint32_t x = seed * 2654435761u + 1;
    for (uint8_t& v : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = uint8_t(x >> 24);
    }
    return b;
}

Bytes concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace dfutest
