// The device-information record: the hash, the search and the texts shown.
#include "firmware/fwinfo.h"

#include "firmware/dfucore.h"
#include "firmware/dfuse.h"

#include <ctime>

const char kFwInfoMarker[8] = {'_', 'F', 'W', 'I', 'N', 'F', 'O', '_'};

namespace {

constexpr uint64_t kMultiplier = 0x880355f21e6d1965ull;

uint64_t mix(uint64_t x)
{
    x ^= x >> 23;
    x *= 0x2127599bf4325c37ull;
    x ^= x >> 47;
    return x;
}

// Up to eight bytes as one little-endian word.
uint64_t word(const uint8_t* p, size_t n)
{
    uint64_t v = 0;
    for (size_t i = n; i-- > 0;)
        v = v << 8 | p[i];
    return v;
}

uint64_t le64(const uint8_t* p)
{
    return word(p, 8);
}

int32_t signed32(const uint8_t* p)
{
    return int32_t(dfu_le32(p));
}

} // namespace

uint64_t fasthash64(const void* data, size_t length, uint64_t seed)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint64_t h = seed ^ (uint64_t(length) * kMultiplier);
    for (size_t left = length; left > 0;) {
        const size_t n = left < 8 ? left : 8;
        h ^= mix(word(p, n));
        h *= kMultiplier;
        p += n;
        left -= n;
    }
    return mix(h);
}

uint32_t fasthash32(const void* data, size_t length, uint32_t seed)
{
    const uint64_t h = fasthash64(data, length, seed);
    return uint32_t(h - (h >> 32));
}

bool fwinfo_find(const uint8_t* buffer, size_t length, FwInfoRecord* record)
{
    *record = FwInfoRecord();
    // The last position tried is length − 9: the byte after the marker is in the image.
    if (length < sizeof kFwInfoMarker + 1)
        return false;
    const int64_t at = dfuse_find_marker(buffer, length - 1, kFwInfoMarker, sizeof kFwInfoMarker);
    if (at < 0)
        return false;
    const uint64_t start = uint64_t(at);
    if (start + FWINFO_HEADER_SIZE > length)
        return false;
    const uint8_t* r = buffer + start;
    const uint16_t version = dfu_le16(r + 12);
    if (version != FWINFO_VERSION)
        return false;
    const uint32_t count = dfu_le32(r + 42);
    const uint64_t hashed = FWINFO_HEADER_SIZE + uint64_t(count) * FWINFO_ENTRY_SIZE;
    if (start + hashed + FWINFO_HASH_SIZE > length)
        return false;

    record->version = version;
    record->deviceType = signed32(r + 14);
    record->deviceVersion = signed32(r + 18);
    record->programVersion = signed32(r + 22);
    record->programRevision = signed32(r + 26);
    record->compileTime = signed32(r + 30);
    record->serial = le64(r + 34);
    record->entryCount = count;
    record->header.assign(r, r + FWINFO_HEADER_SIZE);
    record->entries.assign(r + FWINFO_HEADER_SIZE, r + hashed);
    record->hashValid = fasthash64(r, size_t(hashed), 0) == le64(r + hashed);
    return true;
}

std::string fwinfo_time_text(int32_t compileTime)
{
    const time_t t = compileTime;
    struct tm local;
    if (!localtime_r(&t, &local))
        return std::string();
    char text[64];
    const size_t n = strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", &local);
    return std::string(text, n);
}

uint64_t fwinfo_shown_serial(uint64_t serial)
{
    return serial == UINT64_MAX ? 0 : serial;
}

std::string fwinfo_summary(const FwInfoRecord& r, bool fromFile)
{
    return dfu_format("%s\n"
                      "Тип устройства:%d\n"
                      "Версия устройства:%d\n"
                      " Версия программы:%d\n"
                      "Ревизия программмы:%d\n"
                      "Время компиляции:%s\n"
                      "Серийный номер устройства:%llu\n",
                      fromFile ? "Информация в загружаемой программе:" : "Информация в текущей программе:",
                      r.deviceType, r.deviceVersion, r.programVersion, r.programRevision,
                      fwinfo_time_text(r.compileTime).c_str(),
                      static_cast<unsigned long long>(fwinfo_shown_serial(r.serial)));
}

std::string fwinfo_question(const FwInfoRecord* device, const FwInfoRecord* file)
{
    const FwInfoRecord none;
    const FwInfoRecord& d = device ? *device : none;
    const FwInfoRecord& f = file ? *file : none;
    const std::string deviceTime = device ? fwinfo_time_text(d.compileTime) : std::string();
    const std::string fileTime = file ? fwinfo_time_text(f.compileTime) : std::string();
    return dfu_format(
        "<h4>Информация в текущей программе:</h4>Тип устройства:&nbsp;%d<br/>Версия устройства:&nbsp;%d<br/>"
        " Версия программы:&nbsp;%d<br/>Ревизия программмы:&nbsp;%d<br/> Время компиляции:&nbsp;%s<br/>"
        "Серийный номер устройства:&nbsp;%llu<br/><h4>Информация в загружаемой программе:</h4>"
        "Тип устройства:&nbsp;%d<br/>Версия устройства:&nbsp;%d<br/>Версия программы:&nbsp;%d<br/>"
        "Ревизия программмы:&nbsp;%d<br/>Время компиляции:&nbsp;%s<br/>Серийный номер устройства:%llu"
        "<h4>Продолжить?<h4>",
        d.deviceType, d.deviceVersion, d.programVersion, d.programRevision, deviceTime.c_str(),
        static_cast<unsigned long long>(fwinfo_shown_serial(d.serial)), f.deviceType, f.deviceVersion,
        f.programVersion, f.programRevision, fileTime.c_str(),
        static_cast<unsigned long long>(fwinfo_shown_serial(f.serial)));
}
