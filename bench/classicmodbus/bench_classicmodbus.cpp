// Reads 1,000 registers of classic records (34 runs of 30) from a real
// libmodbus server over TCP loopback and over the RTU pty, and prints the
// time of a whole read, of one run and of merging the words into the
// records, beside the wire time the same read takes on a 115200-baud line.
//
//   bench_classicmodbus [rounds]
#include "classic/classichost.h"
#include "classic/modbuslink.h"
#include "classic/registervalues.h"
#include "modbustestserver.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
const int kRegisters = 1000;
const int kRun = 30;
using Clock = std::chrono::steady_clock;

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// RTU wire time of the read: each run is a request of 8 bytes and an answer
// of 5 + 2 per register, 10 bits a character.
double wireMs(int baud)
{
    int characters = 0;
    for (int left = kRegisters; left > 0; left -= kRun)
        characters += 8 + 5 + 2 * std::min(left, kRun);
    return characters * 10.0 / baud * 1e3;
}

bool measure(const char* transport, int rounds)
{
    ModbusTestServer server;
    ConnectionSettings& s = connectionSettings();
    s = ConnectionSettings();
    const bool tcp = transport[0] == 't';
    if (tcp ? !server.startTcp() : !server.startRtu()) {
        std::fprintf(stderr, "%s: the server did not start\n", transport);
        return false;
    }
    if (tcp) {
        s.ipAddress = QStringLiteral("127.0.0.1");
        s.tcpPort = server.tcpPort();
    } else {
        s.modbusLink = 1;
        s.portName = server.clientTtyPath();
        s.baudRate = QStringLiteral("115200");
    }
    for (int a = 0; a < kRegisters; ++a)
        server.setRegister(a, quint16(a));

    bool link = false;
    ClassicHost host;
    host.linkConnected = [&] { return link; };
    host.setLinkConnected = [&](bool on) { link = on; };
    ModbusLink modbus(host);
    if (!modbus.connectModbus()) {
        std::fprintf(stderr, "%s: no connection\n", transport);
        return false;
    }
    ParamEntryMap map;
    for (int a = 0; a < kRegisters; ++a) {
        ParamEntry& e = map.insert(QStringLiteral("R%1").arg(a, 4, 10, QLatin1Char('0')));
        e.dataType = ParamEntry::UInt;
        e.addressBegin = a;
    }
    RegisterList list;
    registerList(map, list);
    sortRegisterList(list);
    const int runs = registerRuns(list, kRun, kMaxReadRegisters).size();

    std::vector<double> totals, merges;
    int failed = 0;
    for (int r = 0; r < rounds; ++r) {
        server.clearRequests();
        const auto t = Clock::now();
        if (!modbus.readRegisterParams(map, list, kRun) || server.requests().size() != runs)
            ++failed;
        totals.push_back(ms(Clock::now() - t));

        const auto m = Clock::now();
        for (const RegisterEntry& entry : list)
            mergeRegisterWord(map, entry.name, entry.value, entry.address);
        merges.push_back(ms(Clock::now() - m));
    }
    const double total = median(totals);
    std::printf("%s: %d registers in %d runs, %d rounds (%d failed)\n", transport, kRegisters, runs, rounds, failed);
    std::printf("  whole read: median %.2f ms, max %.2f ms (target <= 100 ms)\n", total,
                *std::max_element(totals.begin(), totals.end()));
    std::printf("  per run:    %.3f ms\n", total / runs);
    std::printf("  merging the %d words: median %.3f ms\n", kRegisters, median(merges));
    return failed == 0;
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const bool ok = measure("tcp", rounds) & measure("rtu", rounds);
    std::printf("wire time of the same read on a 115200-baud RTU line: %.0f ms\n", wireMs(115200));
    return ok ? 0 : 1;
}
