// Benchmark of the unit poll: the CPU cost of one 500 ms tick for a unit with both cells running and a full
// read of records (one record per cell, nothing logged), and the throughput of cutting and parsing records.
#include "BenchSupport.h"
#include "platform/Clock.h"
#include "platform/FakeSerialPort.h"
#include "realtime/ReplyRecord.h"
#include "realtime/UnitPoll.h"
#include "records/Module1.h"

#include <QByteArray>
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

using namespace realtime;

namespace {

double threadCpuUs() { return bench::clockMs(CLOCK_THREAD_CPUTIME_ID) * 1e3; }

// A screen that takes the texts as a window would (one copy per label) and never logs.
class Screen : public UnitPollListener {
public:
    std::array<std::array<QString, CellLabelCount>, 3> texts;
    void showLabel(int cell, CellLabel l, const QString& text) override { texts[std::size_t(cell)][std::size_t(l)] = text; }
    void showAlarm(int, bool) override {}
    void showStatus(int, const QString&) override {}
    void stopCell(int) override {}
    bool storePoint(const LoggedPoint&) override { return false; }
};

QByteArray record(char cell, int i)
{
    const double t = 250 + (i % 97) * 0.1;
    return QByteArray(1, cell) + "1," + QByteArray::number(t) + "," + QByteArray::number(t + 1.5) + ",250,"
        + QByteArray::number(1600 + (i % 1000) * 0.37) + "," + QByteArray::number(1100 + i % 5) + char(26);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Module1::UnitSystem = 1;
    for (int c = 1; c <= 2; ++c) Module1::Calibration[1][std::size_t(c)] = {1, 2.5, 4, 0.1, 0.25, 0.1, 0.25};

    // --- one tick ---
    platform::ManualClock clock(1000);
    platform::FakeSerialPort port;
    port.open(1, "19200,n,8,1");
    Screen screen;
    UnitPoll poll(port, screen, 1);
    for (int c = 1; c <= 2; ++c) {
        UnitCell& k = poll.cell(c);
        k.state = CellRunning;
        k.zeroVolts = 1.6f;
        k.zeroLength = 0.5;
        k.waferLength = 0.5;
        k.loggingInterval = std::numeric_limits<std::int32_t>::max();
        k.maxTimeText = QStringLiteral("100000");
        poll.startTiming(c);
    }
    constexpr int kTicks = 50000;
    std::vector<QByteArray> reads;
    reads.reserve(1000);
    for (int i = 0; i < 1000; ++i) reads.push_back(record('A', i) + record('B', i));
    std::vector<double> us;
    us.reserve(kTicks);
    for (int i = 0; i < kTicks; ++i) {
        port.receive(reads[std::size_t(i % 1000)]);
        clock.advance(500);
        const double t0 = threadCpuUs();
        poll.tick();
        us.push_back(threadCpuUs() - t0);
    }
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double v : us) sum += v;
    std::printf("poll tick, both cells running, 2 records per read, nothing logged (%d ticks):\n", kTicks);
    std::printf("  median %.2f us CPU, p99 %.2f us, mean %.2f us, max %.1f us\n", us[us.size() / 2],
                us[us.size() * 99 / 100], sum / double(us.size()), us.back());
    std::printf("  eight units: %.3f %% of the 500 ms budget (median)\n", 8 * us[us.size() / 2] / 500000.0 * 100);

    // --- cutting and parsing ---
    constexpr int kRecords = 2'000'000;
    std::string stream;
    stream.reserve(std::size_t(kRecords) * 40);
    for (int i = 0; i < kRecords; ++i) {
        const QByteArray r = record(i % 2 ? 'B' : 'A', i);
        stream.append(r.constData(), std::size_t(r.size()));
    }
    ReplyBuffer buf;
    std::size_t accepted = 0;
    double check = 0;
    const double p0 = threadCpuUs();
    for (std::size_t pos = 0; pos < stream.size(); pos += 4096) {
        buf.append(stream.data() + pos, std::min<std::size_t>(4096, stream.size() - pos));
        std::string_view r;
        while (buf.nextRecord(r)) {
            if (const auto f = parseReplyFrame(r)) {
                ++accepted;
                check += f->milliVolts;
            }
        }
    }
    const double parseUs = threadCpuUs() - p0;
    std::printf("cut + parse: %zu records (%.1f MB) in %.1f ms CPU: %.2f million records/s, %.0f ns per record%s\n",
                accepted, double(stream.size()) / 1e6, parseUs / 1000, double(accepted) / parseUs,
                parseUs * 1000 / double(accepted), check < 0 ? "!" : "");
    return accepted == std::size_t(kRecords) ? 0 : 1;
}
