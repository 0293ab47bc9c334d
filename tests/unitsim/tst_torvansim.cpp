// End-to-end checks of the unit simulator torvan-sim: its records, its answers to commands and its fault
// switches, read through its pseudo-terminals the way a plain serial program would (raw POSIX, not the
// program's own port class).
#include "TestSupport.h"
#include "records/format.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QString kSimulator = QStringLiteral(VEDUVOVIR_BIN_DIR "/tools/unit-sim/torvan-sim");
constexpr char kSub = 26;
constexpr double kAmbient = 72.0;

// Millivolts the documented transducer gives for a wafer length: length = 0.25 x volts + 0.1.
double milliVoltsFor(double lengthIn) { return 1000.0 * (lengthIn - 0.1) / 0.25; }

// A running simulator; stopped with SIGTERM when it goes out of scope.
class Simulator {
public:
    ~Simulator() { stop(); }

    // Starts it and waits for its "port N -> path" lines. Returns an error text, empty on success.
    QString start(const QString& dir, const QStringList& ports, const QStringList& extra = {})
    {
        process_.setProgram(kSimulator);
        process_.setArguments(QStringList{"--dir", dir, "--ports", ports.join(',')} + extra);
        process_.start();
        if (!process_.waitForStarted(5000)) return "cannot start " + kSimulator + ": " + process_.errorString();
        static const QRegularExpression line(QStringLiteral("^torvan-sim: port (\\d+) -> (\\S+)\n$"));
        QElapsedTimer t;
        t.start();
        while (ptys_.size() < ports.size()) {
            if (process_.canReadLine()) {
                const QString text = QString::fromLocal8Bit(process_.readLine());
                const auto m = line.match(text);
                if (!m.hasMatch()) return "unexpected output: " + text;
                ptys_.insert(int(Format::strict(m.captured(1)).value_or(0)), m.captured(2));
            } else if (process_.state() != QProcess::Running || t.elapsed() > 5000) {
                return "no port lines; stderr: " + QString::fromLocal8Bit(process_.readAllStandardError());
            } else {
                process_.waitForReadyRead(100);
            }
        }
        return {};
    }

    void stop()
    {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

    // Everything the simulator wrote on stderr so far.
    QString log()
    {
        QTest::qWait(50);
        log_ += QString::fromLocal8Bit(process_.readAllStandardError());
        return log_;
    }

    QString pty(int port) const { return ptys_.value(port); }
    QProcess& process() { return process_; }

private:
    QProcess process_;
    QMap<int, QString> ptys_;
    QString log_;
};

struct Reading {
    char cell = 0;
    double temperature = 0, bath = 0, setting = 0, milliVolts = 0, pressure = 0;
    qint64 at = 0;   // ms on the capture's clock when the record's end byte arrived
};

// The slave side of a simulator port, opened like a serial device: raw, non-blocking, stale input dropped.
// Collects what it reads as records, remembering each read separately.
class UnitPort {
public:
    // raw = false leaves the line settings as the simulator made them.
    explicit UnitPort(const QString& path, int port, bool raw = true) : port_(port)
    {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return;
        if (raw) {
            termios t{};
            tcgetattr(fd_, &t);
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
        tcflush(fd_, TCIFLUSH);
        clock_.start();
    }
    ~UnitPort()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }

    bool send(const QByteArray& bytes) { return ::write(fd_, bytes.constData(), size_t(bytes.size())) == bytes.size(); }

    // Reads for up to ms milliseconds, or until done() holds after a read.
    void read(int ms, const std::function<bool()>& done = {})
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) continue;
            char buf[4096];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) continue;
            take(QByteArray(buf, int(n)));
            if (done && done()) return;
        }
    }

    // Reads until a record of the cell satisfies the condition; false after ms without one.
    bool waitFor(char cell, int ms, const std::function<bool(const Reading&)>& condition)
    {
        read(ms, [&] { return hasLast(cell) && condition(last(cell)); });
        return hasLast(cell) && condition(last(cell));
    }

    void clear()
    {
        readings_.clear();
        faults_.clear();
        reads_ = partialReads_ = bytes_ = subs_ = 0;
    }

    const QList<Reading>& readings() const { return readings_; }
    QList<Reading> readingsOf(char cell) const
    {
        QList<Reading> out;
        for (const Reading& r : readings_)
            if (r.cell == cell) out << r;
        return out;
    }
    bool hasLast(char cell) const { return !readingsOf(cell).isEmpty(); }
    Reading last(char cell) const { return readingsOf(cell).last(); }
    const QStringList& faults() const { return faults_; }
    int reads() const { return reads_; }
    int partialReads() const { return partialReads_; }
    int bytes() const { return bytes_; }
    int endBytes() const { return subs_; }
    qint64 now() const { return clock_.elapsed(); }
    qint64 firstEnd() const { return syncedAt_; }   // when the first record end arrived; -1 before

private:
    void take(const QByteArray& data)
    {
        ++reads_;
        bytes_ += int(data.size());
        subs_ += int(data.count(kSub));
        if (!data.endsWith(kSub)) ++partialReads_;   // this read stops inside a record
        pending_ += data;
        qsizetype end;
        while ((end = pending_.indexOf(kSub)) >= 0) {
            // Opened in the middle of a record, the first piece is only its tail: not a fault.
            parse(pending_.left(end), synced_);
            if (!synced_) syncedAt_ = clock_.elapsed();
            synced_ = true;
            pending_.remove(0, end + 1);
        }
    }

    // A record must be "<cell letter><port>" and five plain decimal numbers, the pressure a whole one.
    void parse(const QByteArray& record, bool reportFaults)
    {
        const QList<QByteArray> f = record.split(',');
        const QString text = QString::fromLatin1(record);
        if (f.size() != 6) {
            fault(reportFaults, "not six fields: " + text);
            return;
        }
        const QByteArray tail = Format::number(port_, QStringLiteral("0")).toLatin1();
        if (f[0] != "A" + tail && f[0] != "B" + tail) {
            fault(reportFaults, "bad cell tag: " + text);
            return;
        }
        double v[6] = {};
        for (int i = 1; i < 6; ++i) {
            const auto n = Format::strict(QString::fromLatin1(f[i]));
            if (!n || f[i].trimmed() != f[i]) {
                fault(reportFaults, "field " + Format::general(i + 1) + " is not a plain number: " + text);
                return;
            }
            v[i] = *n;
        }
        if (f[5].contains('.')) fault(reportFaults, "pressure is not whole: " + text);
        readings_ << Reading{f[0][0], v[1], v[2], v[3], v[4], v[5], clock_.elapsed()};
    }

    void fault(bool report, const QString& text)
    {
        if (report) faults_ << text;
    }

    int fd_ = -1;
    int port_ = 0;
    QElapsedTimer clock_;
    QByteArray pending_;
    bool synced_ = false;
    qint64 syncedAt_ = -1;
    QList<Reading> readings_;
    QStringList faults_;
    int reads_ = 0, partialReads_ = 0, bytes_ = 0, subs_ = 0;
};

// Longest time without a record of the cell, from the first record end read (before it the reader may
// have joined in the middle of a record) to the end of reading.
qint64 longestGap(const UnitPort& port, char cell, qint64 to)
{
    qint64 previous = port.firstEnd(), gap = 0;
    for (const Reading& r : port.readingsOf(cell)) {
        gap = qMax(gap, r.at - previous);
        previous = r.at;
    }
    return qMax(gap, to - previous);
}

bool isLink(const QString& path) { return QFileInfo(path).isSymLink(); }

} // namespace

class TestTorvanSim : public QObject {
    Q_OBJECT

private slots:
    void recordsOfBothCells_data();
    void recordsOfBothCells();
    void commands_data();
    void commands();
    void garbledCommandsAreIgnored();
    void cellFaults_data();
    void cellFaults();
    void silentAfter();
    void linksFollowTheProcess_data();
    void linksFollowTheProcess();
    void refusesBadArguments_data();
    void refusesBadArguments();
    void controlChannel_data();
    void controlChannel();
    void controlChannelPerPortAndBadLines();
    void restartLine_data();
    void restartLine();
    void silentLine();
    void unplugLine();
    void cableLine();
    void dropAndIgnoreSetLines();
};

// Both ports send both cells' records, well formed and often enough for a 500 ms poll, with the idle
// readings the model promises for the given wafer and pressure.
void TestTorvanSim::recordsOfBothCells_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<double>("wafer");
    QTest::addColumn<double>("pressure");
    QTest::addColumn<bool>("split");

    QTest::newRow("defaults") << QStringList{} << 0.5 << 1100.0 << false;
    QTest::newRow("thin wafer, low pressure") << QStringList{"--wafer", "0.35", "--pressure", "250"} << 0.35
                                              << 250.0 << false;
    QTest::newRow("split records") << QStringList{"--split", "--seed", "5"} << 0.5 << 1100.0 << true;
}

void TestTorvanSim::recordsOfBothCells()
{
    QFETCH(QStringList, options);
    QFETCH(double, wafer);
    QFETCH(double, pressure);
    QFETCH(bool, split);

    testsupport::TempWorkDir dir(false);
    Simulator sim;
    const QString error = sim.start(dir.path(), {"1", "2"}, options);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    for (int port : {1, 2}) {
        const QString link = dir.file("COM" + Format::number(port, QStringLiteral("0")));
        QVERIFY(isLink(link));
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.pty(port));
    }
    UnitPort com1(dir.file("COM1"), 1);
    UnitPort com2(dir.file("COM2"), 2, false);   // relies on the simulator's raw mode (byte 26, CR, LF)
    QVERIFY(com1.isOpen() && com2.isOpen());

    // Read both ports for 1.5 s, a slice at a time.
    const qint64 from = com1.now();
    while (com1.now() - from < 1500) {
        com1.read(50);
        com2.read(50);
    }
    const qint64 to = com1.now();

    for (UnitPort* port : {&com1, &com2}) {
        QVERIFY2(port->faults().isEmpty(), qPrintable(port->faults().join('\n')));
        QVERIFY(port->firstEnd() >= 0 && port->firstEnd() - from <= 500);
        for (char cell : {'A', 'B'}) {
            QVERIFY(port->readingsOf(cell).size() >= 3);
            // The 400 ms period plus the scheduling slack of a loaded or sanitized build.
            QVERIFY2(longestGap(*port, cell, to) <= 650,
                     qPrintable(QStringLiteral("cell %1: %2 ms without a record")
                                .arg(QChar(cell))
                                .arg(Format::general(double(longestGap(*port, cell, to))))));
        }
        for (const Reading& r : port->readings()) {
            QCOMPARE(r.temperature, kAmbient);
            QCOMPARE(r.bath, kAmbient);
            QCOMPARE(r.setting, 0.0);
            QVERIFY2(qAbs(r.milliVolts - milliVoltsFor(wafer)) <= 0.25, qPrintable(Format::general(r.milliVolts)));
            QVERIFY2(qAbs(r.pressure - pressure) <= 2.0, qPrintable(Format::general(r.pressure)));
        }
    }
    if (split) QVERIFY(com1.partialReads() > 0 && com2.partialReads() > 0);
}

// A command sets the addressed cell (the other stays idle), heating swells the wafer and warms the bath,
// and a stop brings the setting back to 0 without shrinking the wafer. The program's stop sends
// SetTemperature "000" and then StopCell; StopCell alone must stop the cell as well.
void TestTorvanSim::commands_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<char>("cell");
    QTest::addColumn<double>("setting");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QByteArray>("stop");

    QTest::newRow("SetTemperature B 250") << QByteArray("\x05" "B,250\x1a") << 'B' << 250.0
                                          << "port 1: SetTemperature B 250"
                                          << QByteArray("\x05" "B,000\x1a\x07" "B\x1a");
    QTest::newRow("Preheat A 150, StopCell alone") << QByteArray("\x06" "A,150\x1a") << 'A' << 150.0
                                                   << "port 1: Preheat A 150" << QByteArray("\x07" "A\x1a");
    QTest::newRow("negative set point") << QByteArray("\x05" "A,-004\x1a") << 'A' << -4.0
                                        << "port 1: SetTemperature A -4" << QByteArray("\x07" "A\x1a");
}

void TestTorvanSim::commands()
{
    QFETCH(QByteArray, command);
    QFETCH(char, cell);
    QFETCH(double, setting);
    QFETCH(QString, logLine);
    QFETCH(QByteArray, stop);
    const char other = cell == 'A' ? 'B' : 'A';
    const bool heats = setting > kAmbient;
    const double dry = milliVoltsFor(0.5);

    testsupport::TempWorkDir dir(false);
    Simulator sim;
    const QString error = sim.start(dir.path(), {"1"}, {"--verbose", "--swell-tau", "2", "--period-ms", "100"});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    UnitPort com1(dir.file("COM1"), 1);
    QVERIFY(com1.isOpen());

    QVERIFY(com1.send(command));
    QVERIFY2(com1.waitFor(cell, 1500, [&](const Reading& r) { return r.setting == setting; }),
             qPrintable(com1.hasLast(cell) ? Format::general(com1.last(cell).setting) : QStringLiteral("no record")));
    QVERIFY(sim.log().contains(logLine + '\n'));

    // Let it work for a while: a heated cell swells and its bath warms; otherwise nothing moves.
    com1.clear();
    com1.read(600);
    QVERIFY(com1.faults().isEmpty());
    QVERIFY(com1.hasLast(cell) && com1.hasLast(other));
    const Reading heated = com1.last(cell);
    QCOMPARE(heated.setting, setting);
    if (heats) {
        QVERIFY2(heated.milliVolts > dry + 20, qPrintable(Format::general(heated.milliVolts)));
        QVERIFY2(heated.bath > kAmbient + 1, qPrintable(Format::general(heated.bath)));
        QVERIFY(heated.temperature > kAmbient && heated.temperature < heated.bath);
    } else {
        QVERIFY(qAbs(heated.milliVolts - dry) <= 0.25);
        QCOMPARE(heated.bath, kAmbient);
    }
    for (const Reading& r : com1.readingsOf(other)) {
        QCOMPARE(r.setting, 0.0);
        QCOMPARE(r.bath, kAmbient);
        QVERIFY(qAbs(r.milliVolts - dry) <= 0.25);
    }

    QVERIFY(com1.send(stop));
    QVERIFY(com1.waitFor(cell, 1500, [](const Reading& r) { return r.setting == 0.0; }));
    com1.clear();
    com1.read(600);
    QVERIFY(com1.hasLast(cell));
    for (const Reading& r : com1.readingsOf(cell)) {
        QCOMPARE(r.setting, 0.0);
        QVERIFY2(r.milliVolts >= heated.milliVolts - 0.5, qPrintable(Format::general(r.milliVolts)));   // no shrinking
    }
    const QList<Reading> after = com1.readingsOf(cell);
    QVERIFY(after.last().bath <= after.first().bath);   // no longer heating
    QVERIFY(sim.log().contains("port 1: StopCell " + QString(QChar(cell)) + '\n'));
}

// Malformed commands change nothing, and a good command after them is still understood.
void TestTorvanSim::garbledCommandsAreIgnored()
{
    testsupport::TempWorkDir dir(false);
    Simulator sim;
    const QString error = sim.start(dir.path(), {"2"}, {"--verbose", "--period-ms", "100"});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    UnitPort com2(dir.file("COM2"), 2);
    QVERIFY(com2.isOpen());

    const QByteArrayList garbled{
        "\x05" "C,250\x1a",    // no such cell
        "\x05" "b,250\x1a",    // lower-case letter
        "\x05" "B250\x1a",     // no comma
        "\x05" "B,2x0\x1a",    // not a whole number
        "\x05" "B,\x1a",       // no set point
        "\x06" "B,25.5\x1a",   // not a whole number
        "\x07\x1a",            // stop without a cell
        "\r\n\x05" "B,250\x1a", // line end in front
        "hello\x1a",
    };
    for (const QByteArray& bytes : garbled) QVERIFY(com2.send(bytes));
    QVERIFY(com2.send("\x0b\x1a"));
    QVERIFY(com2.send("\x05" "A,1"));   // a command may come in pieces
    com2.read(60);
    QVERIFY(com2.send("23\x1a"));

    QVERIFY(com2.waitFor('A', 1500, [](const Reading& r) { return r.setting == 123.0; }));
    com2.read(300);
    QVERIFY(com2.faults().isEmpty());
    QVERIFY(com2.hasLast('B'));
    for (const Reading& r : com2.readingsOf('B')) QCOMPARE(r.setting, 0.0);

    const QString log = sim.log();
    QCOMPARE(log.count(QStringLiteral("port 2: ignored")), garbled.size());
    QVERIFY(log.contains("port 2: FactoryZero\n"));
    QVERIFY(log.contains("port 2: SetTemperature A 123\n"));
}

// A dropped cell never appears; garbage never holds a record end.
void TestTorvanSim::cellFaults_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("sendsA");
    QTest::addColumn<bool>("sendsB");

    QTest::newRow("drop B") << "--drop-cell" << "B" << true << false;
    QTest::newRow("drop A") << "--drop-cell" << "A" << false << true;
    QTest::newRow("garbage") << "--garbage" << QString() << false << false;
}

void TestTorvanSim::cellFaults()
{
    QFETCH(QString, option);
    QFETCH(QString, value);
    QFETCH(bool, sendsA);
    QFETCH(bool, sendsB);

    testsupport::TempWorkDir dir(false);
    Simulator sim;
    QStringList options{"--period-ms", "100", option};
    if (!value.isEmpty()) options << value;
    const QString error = sim.start(dir.path(), {"1"}, options);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    UnitPort com1(dir.file("COM1"), 1);
    QVERIFY(com1.isOpen());
    com1.read(500);

    QVERIFY(com1.faults().isEmpty());
    QCOMPARE(com1.readingsOf('A').size() >= 2, sendsA);
    QCOMPARE(com1.readingsOf('B').size() >= 2, sendsB);
    if (!sendsA) QVERIFY(!com1.hasLast('A'));
    if (!sendsB) QVERIFY(!com1.hasLast('B'));
    QVERIFY(com1.bytes() > 0);
    if (!sendsA && !sendsB) QCOMPARE(com1.endBytes(), 0);
}

// Records stop after the given time, while commands are still read.
void TestTorvanSim::silentAfter()
{
    testsupport::TempWorkDir dir(false);
    Simulator sim;
    QElapsedTimer sinceStart;
    const QString error = sim.start(dir.path(), {"1"}, {"--silent-after", "1", "--verbose", "--period-ms", "100"});
    sinceStart.start();   // later than the simulator's own start, which comes right after its port lines
    QVERIFY2(error.isEmpty(), qPrintable(error));
    UnitPort com1(dir.file("COM1"), 1);
    QVERIFY(com1.isOpen());

    com1.read(700);
    QVERIFY(com1.hasLast('A') && com1.hasLast('B'));

    com1.read(int(qMax<qint64>(0, 1200 - sinceStart.elapsed())));
    com1.clear();
    QVERIFY(com1.send("\x05" "A,200\x1a"));
    com1.read(700);
    QCOMPARE(com1.bytes(), 0);
    QVERIFY(sim.log().contains("port 1: SetTemperature A 200\n"));
    QCOMPARE(sim.process().state(), QProcess::Running);
}

// Stale links are replaced, a port survives being closed and reopened, and a stop signal ends the
// simulator cleanly and takes its links away.
void TestTorvanSim::linksFollowTheProcess_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestTorvanSim::linksFollowTheProcess()
{
    QFETCH(int, signal);

    testsupport::TempWorkDir dir(false);
    QVERIFY(QFile::link(QStringLiteral("/nonexistent/pts/99"), dir.file("COM1")));   // left by a crashed run
    Simulator sim;
    const QString error = sim.start(dir.path(), {"1", "3"}, {"--period-ms", "100"});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(QFileInfo(dir.file("COM1")).symLinkTarget(), sim.pty(1));
    QCOMPARE(QFileInfo(dir.file("COM3")).symLinkTarget(), sim.pty(3));

    for (int round = 0; round < 3; ++round) {
        UnitPort com1(dir.file("COM1"), 1);
        QVERIFY(com1.isOpen());
        QVERIFY(com1.waitFor('A', 1000, [](const Reading&) { return true; }));
        QVERIFY(com1.faults().isEmpty());
    }

    ::kill(pid_t(sim.process().processId()), signal);
    QVERIFY(sim.process().waitForFinished(3000));
    QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process().exitCode(), 0);
    QVERIFY(!isLink(dir.file("COM1")));
    QVERIFY(!isLink(dir.file("COM3")));
}

// Wrong options end the simulator at once with an error, leaving no links; a file that is not a link
// is never replaced.
void TestTorvanSim::refusesBadArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("fileInTheWay");

    QTest::newRow("period of 500 ms") << QStringList{"--ports", "1", "--period-ms", "500"} << false;
    QTest::newRow("no ports") << QStringList{} << false;
    QTest::newRow("port 0") << QStringList{"--ports", "0"} << false;
    QTest::newRow("port 21") << QStringList{"--ports", "1,21"} << false;
    QTest::newRow("port twice") << QStringList{"--ports", "1,1"} << false;
    QTest::newRow("cell C") << QStringList{"--ports", "1", "--drop-cell", "C"} << false;
    QTest::newRow("negative pressure") << QStringList{"--ports", "1", "--pressure", "-5"} << false;
    QTest::newRow("unknown option") << QStringList{"--ports", "1", "--fast"} << false;
    QTest::newRow("file named COM1") << QStringList{"--ports", "1"} << true;
    QTest::newRow("control without path") << QStringList{"--ports", "1", "--control"} << false;
}

void TestTorvanSim::refusesBadArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, fileInTheWay);

    testsupport::TempWorkDir dir(false);
    if (fileInTheWay) dir.write(QStringLiteral("COM1"), "keep me");
    QProcess p;
    p.start(kSimulator, QStringList{"--dir", dir.path()} + arguments);
    QVERIFY(p.waitForFinished(3000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY(p.exitCode() != 0);
    QVERIFY(!p.readAllStandardError().isEmpty());
    QVERIFY(p.readAllStandardOutput().isEmpty());
    QVERIFY(!isLink(dir.file("COM1")));
    if (fileInTheWay) {
        QFile f(dir.file("COM1"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("keep me"));
    }
}

namespace {
// Writes lines to the simulator's control FIFO (its reader is open, so this does not block).
bool control(const QString& fifo, const QByteArray& lines)
{
    const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) return false;
    const bool ok = ::write(fd, lines.constData(), size_t(lines.size())) == lines.size();
    ::close(fd);
    return ok;
}
} // namespace

// A simulator of port 1 with a control channel, records every 100 ms and every command logged.
struct ControlledUnit {
    testsupport::TempWorkDir dir{false};
    const QString fifo = dir.file("control");
    Simulator sim;
    // Empty on success, else why it did not start.
    QString start() { return sim.start(dir.path(), {"1"}, {"--verbose", "--period-ms", "100", "--control", fifo}); }
};

// A spacer or a pressure put on a cell through the control channel shows in its records, exactly and
// without noise; "model" gives the cell back to the model.
void TestTorvanSim::controlChannel_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<char>("cell");
    QTest::addColumn<double>("milliVolts");
    QTest::addColumn<double>("pressure");
    QTest::addColumn<double>("pressureNoise");   // a spacer leaves the model's pressure with its noise

    QTest::newRow("spacer 0.4 in cell A") << QByteArray("length A 0.4\n") << 'A' << 1200.0 << 1100.0 << 2.0;
    QTest::newRow("spacer 0.65 in cell B") << QByteArray("length B 0.65\n") << 'B' << 2200.0 << 1100.0 << 2.0;
    QTest::newRow("spacer 0.9, blanks and CR") << QByteArray("  length  A   0.9 \r\n") << 'A' << 3200.0 << 1100.0
                                               << 2.0;
    QTest::newRow("1000 psi on cell B") << QByteArray("pressure B 1000\n") << 'B' << 4500.0 << 1000.0 << 0.0;
    QTest::newRow("0 psi on cell A") << QByteArray("pressure A 0\n") << 'A' << 500.0 << 0.0 << 0.0;
}

void TestTorvanSim::controlChannel()
{
    QFETCH(QByteArray, line);
    QFETCH(char, cell);
    QFETCH(double, milliVolts);
    QFETCH(double, pressure);
    QFETCH(double, pressureNoise);
    const char other = cell == 'A' ? 'B' : 'A';

    ControlledUnit u;
    const QString error = u.start();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    UnitPort com1(u.dir.file("COM1"), 1);
    QVERIFY(com1.isOpen());

    QVERIFY(control(u.fifo, line));
    QVERIFY(com1.waitFor(cell, 2000, [&](const Reading& r) { return r.milliVolts == milliVolts; }));
    com1.clear();
    com1.read(500);
    QVERIFY(com1.faults().isEmpty());
    QVERIFY(com1.readingsOf(cell).size() >= 2);
    for (const Reading& r : com1.readingsOf(cell)) {
        QCOMPARE(r.milliVolts, milliVolts);
        QVERIFY2(qAbs(r.pressure - pressure) <= pressureNoise, qPrintable(Format::general(r.pressure)));
    }
    for (const Reading& r : com1.readingsOf(other)) QVERIFY(qAbs(r.milliVolts - milliVoltsFor(0.5)) <= 0.25);
    // Logged as received, a CR shown as its code.
    const QString logged = QString::fromLatin1(line).chopped(1).replace('\r', QStringLiteral("\\x0d"));
    QVERIFY2(u.sim.log().contains("control: " + logged + '\n'), qPrintable(u.sim.log()));

    QVERIFY(control(u.fifo, QByteArray("model ") + cell + "\n"));
    QVERIFY(com1.waitFor(cell, 2000, [](const Reading& r) { return qAbs(r.milliVolts - milliVoltsFor(0.5)) <= 0.25; }));

    u.sim.stop();
    QVERIFY(!QFileInfo::exists(u.fifo));   // the FIFO it made is gone with it
}

// A leading port number puts the line on that port only; lines that are not understood are reported and
// change nothing; a line may arrive in pieces.
void TestTorvanSim::controlChannelPerPortAndBadLines()
{
    testsupport::TempWorkDir dir(false);
    const QString fifo = dir.file("control");
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);   // an existing FIFO is used
    Simulator sim;
    const QString error = sim.start(dir.path(), {"1", "2"}, {"--period-ms", "100", "--control", fifo});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    UnitPort com1(dir.file("COM1"), 1);
    UnitPort com2(dir.file("COM2"), 2);
    QVERIFY(com1.isOpen() && com2.isOpen());

    const QByteArrayList bad{"length C 0.4\n", "length A\n", "length A x\n", "pressure A -3\n", "7 length A 0.4\n",
                             "spacer A 0.4\n", "model A 3\n", "restart x\n", "restart 1 2\n", "silent\n",
                             "unplug -1\n", "silent 3601\n", "7 restart\n",
                             "cable\n", "cable -2\n", "drop 0\n", "drop x\n", "drop 1 2\n", "ignore-set\n"};
    for (const QByteArray& l : bad) QVERIFY(control(fifo, l));
    QVERIFY(control(fifo, "2 length A 0."));
    QTest::qWait(50);
    QVERIFY(control(fifo, "65\n"));
    QVERIFY(com2.waitFor('A', 2000, [](const Reading& r) { return r.milliVolts == 2200.0; }));
    com1.clear();
    com1.read(400);
    QVERIFY(com1.hasLast('A'));
    for (const Reading& r : com1.readingsOf('A')) QVERIFY(qAbs(r.milliVolts - milliVoltsFor(0.5)) <= 0.25);
    QCOMPARE(sim.log().count(QStringLiteral("torvan-sim: control: ")), bad.size());

    sim.stop();
    QVERIFY(QFileInfo::exists(fifo));   // a FIFO it did not make stays
}

namespace {
// Waits until the simulator's log holds text; false after ms without it.
bool logged(Simulator& sim, const QString& text, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!sim.log().contains(text))
        if (t.elapsed() > ms) return false;
    return true;
}
} // namespace

// "restart [S]": the unit forgets its set points and comes back at its own 75 F setting behind the same
// pseudo-terminal; while it is off (S > 0) it sends nothing and drops every command.
void TestTorvanSim::restartLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("off");
    QTest::newRow("restart at once") << QByteArray("restart\n") << false;
    QTest::newRow("off for 1.5 s") << QByteArray("1 restart 1.5\n") << true;
}

void TestTorvanSim::restartLine()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, off);
    ControlledUnit u;
    const QString error = u.start();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    UnitPort com1(u.dir.file("COM1"), 1);
    QVERIFY(com1.isOpen());
    QVERIFY(com1.send("\x05" "A,150\x1a\x06" "B,120\x1a"));
    QVERIFY(com1.waitFor('A', 2000, [](const Reading& r) { return r.setting == 150; }));
    QVERIFY(com1.waitFor('B', 2000, [](const Reading& r) { return r.setting == 120; }));

    QVERIFY(control(u.fifo, line));
    if (off) {
        QVERIFY2(logged(u.sim, "port 1: unit off\n"), qPrintable(u.sim.log()));
        com1.read(50);
        com1.clear();
        QVERIFY(com1.send("\x05" "A,200\x1a"));
        QVERIFY2(logged(u.sim, "port 1: ignored (unit off)"), qPrintable(u.sim.log()));
        QVERIFY(!u.sim.log().contains("port 1: unit on\n"));
        QCOMPARE(com1.bytes(), 0);   // nothing while it is off
    }
    QVERIFY2(logged(u.sim, "port 1: unit on\n"), qPrintable(u.sim.log()));
    QVERIFY(!u.sim.log().contains("SetTemperature A 200"));
    // Same pseudo-terminal, the unit's own setting on both cells, never the command sent while off.
    QVERIFY(com1.waitFor('A', 2000, [](const Reading& r) { return r.setting == 75; }));
    QVERIFY(com1.waitFor('B', 2000, [](const Reading& r) { return r.setting == 75; }));
    com1.clear();
    com1.read(400);
    QVERIFY(com1.faults().isEmpty());
    QVERIFY(com1.hasLast('A') && com1.hasLast('B'));
    for (const Reading& r : com1.readings()) QCOMPARE(r.setting, 75.0);
    // It takes commands again.
    QVERIFY(com1.send("\x05" "A,160\x1a"));
    QVERIFY(com1.waitFor('A', 2000, [](const Reading& r) { return r.setting == 160; }));
    QVERIFY(u.sim.log().contains("port 1: SetTemperature A 160\n"));
}

// "silent S": no records for S seconds, while commands are still read and obeyed.
void TestTorvanSim::silentLine()
{
    ControlledUnit u;
    const QString error = u.start();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    UnitPort com1(u.dir.file("COM1"), 1);
    QVERIFY(com1.isOpen());
    QVERIFY(com1.waitFor('A', 2000, [](const Reading&) { return true; }));

    QVERIFY(control(u.fifo, "silent 2\n"));
    QVERIFY2(logged(u.sim, "control: silent 2\n"), qPrintable(u.sim.log()));
    com1.read(50);   // a record under way when the line came
    com1.clear();
    QVERIFY(com1.send("\x05" "A,200\x1a"));
    QVERIFY2(logged(u.sim, "port 1: SetTemperature A 200\n"), qPrintable(u.sim.log()));
    com1.read(300);
    QCOMPARE(com1.bytes(), 0);
    // The records come back on their own, with the command obeyed meanwhile.
    QVERIFY(com1.waitFor('A', 4000, [](const Reading& r) { return r.setting == 200; }));
    QVERIFY(com1.faults().isEmpty());
}

// "unplug S": the pseudo-terminal closes (the reader sees its device go) and COM1 goes; the unit keeps its set
// points; then COM1 is made anew for a new pseudo-terminal, which sends the kept setting.
void TestTorvanSim::unplugLine()
{
    ControlledUnit u;
    const QString link = u.dir.file("COM1");
    const QString error = u.start();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    struct stat before {};
    QCOMPARE(::lstat(QFile::encodeName(link).constData(), &before), 0);
    {
        UnitPort com1(link, 1);
        QVERIFY(com1.isOpen());
        QVERIFY(com1.send("\x05" "A,150\x1a"));
        QVERIFY(com1.waitFor('A', 2000, [](const Reading& r) { return r.setting == 150; }));

        QVERIFY(control(u.fifo, "unplug 1.5\n"));
        QVERIFY2(logged(u.sim, "port 1: unplugged\n"), qPrintable(u.sim.log()));
        QVERIFY(!QFileInfo(link).isSymLink());
        com1.clear();
        com1.read(300);
        QCOMPARE(com1.bytes(), 0);
    }
    QVERIFY2(logged(u.sim, "port 1: plugged in -> "), qPrintable(u.sim.log()));
    struct stat after {};
    QCOMPARE(::lstat(QFile::encodeName(link).constData(), &after), 0);
    QVERIFY(S_ISLNK(after.st_mode));
    QVERIFY(after.st_ino != before.st_ino);   // a link made anew
    UnitPort again(link, 1);
    QVERIFY(again.isOpen());
    QVERIFY(again.waitFor('A', 2000, [](const Reading& r) { return r.setting == 150; }));
    QVERIFY(again.faults().isEmpty());
    QVERIFY(again.send("\x07" "A\x1a"));
    QVERIFY(logged(u.sim, "port 1: StopCell A\n"));
}

// "cable S": a cable pulled between adapter and unit. The pseudo-terminal stays open and linked and takes
// writes, but no record arrives and every command is lost (logged as lost, never as obeyed); the unit keeps
// its set point and goes on heating; afterwards records and commands cross again.
void TestTorvanSim::cableLine()
{
    ControlledUnit u;
    const QString link = u.dir.file("COM1");
    const QString error = u.start();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    struct stat before {};
    QCOMPARE(::lstat(QFile::encodeName(link).constData(), &before), 0);
    UnitPort com1(link, 1);
    QVERIFY(com1.isOpen());
    QVERIFY(com1.send("\x05" "A,150\x1a"));
    QVERIFY(com1.waitFor('A', 2000, [](const Reading& r) { return r.setting == 150; }));
    const double bathBefore = com1.last('A').bath;

    QVERIFY(control(u.fifo, "1 cable 1.5\n"));
    QVERIFY2(logged(u.sim, "port 1: cable pulled\n"), qPrintable(u.sim.log()));
    com1.read(50);   // a record under way when the line came
    com1.clear();
    QVERIFY(com1.send("\x05" "A,000\x1a"));
    QVERIFY(com1.send("\x07" "A\x1a"));
    QVERIFY2(logged(u.sim, "port 1: dropped SetTemperature A 0 (cable pulled)\n"), qPrintable(u.sim.log()));
    QVERIFY2(logged(u.sim, "port 1: dropped StopCell A (cable pulled)\n"), qPrintable(u.sim.log()));
    com1.read(300);
    QCOMPARE(com1.bytes(), 0);
    // The link is the same one, to the same pseudo-terminal.
    struct stat during {};
    QCOMPARE(::lstat(QFile::encodeName(link).constData(), &during), 0);
    QCOMPARE(during.st_ino, before.st_ino);
    QVERIFY(!u.sim.log().contains("port 1: cable back\n"));

    QVERIFY2(logged(u.sim, "port 1: cable back\n"), qPrintable(u.sim.log()));
    // Records again on the same descriptor: the set point kept, the bath heated on meanwhile.
    QVERIFY(com1.waitFor('A', 2000, [](const Reading& r) { return r.setting == 150; }));
    QVERIFY2(com1.last('A').bath > bathBefore + 0.5, qPrintable(Format::general(com1.last('A').bath)));
    QVERIFY(com1.faults().isEmpty());
    const QString log = u.sim.log();
    QVERIFY(!log.contains("port 1: SetTemperature A 0\n"));
    QVERIFY(!log.contains("port 1: StopCell A\n"));
    // Commands reach the unit again.
    QVERIFY(com1.send("\x07" "A\x1a"));
    QVERIFY(com1.waitFor('A', 2000, [](const Reading& r) { return r.setting == 0; }));
    QVERIFY(logged(u.sim, "port 1: StopCell A\n"));
}

// "drop N" loses the next N commands; "ignore-set S" lets SetTemperature arrive without being taken for S
// seconds while the other commands are obeyed. Each is logged apart from the commands obeyed.
void TestTorvanSim::dropAndIgnoreSetLines()
{
    ControlledUnit u;
    const QString error = u.start();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    UnitPort com1(u.dir.file("COM1"), 1);
    QVERIFY(com1.isOpen());
    QVERIFY(com1.waitFor('A', 2000, [](const Reading&) { return true; }));

    QVERIFY(control(u.fifo, "drop 2\n"));
    QVERIFY2(logged(u.sim, "control: drop 2\n"), qPrintable(u.sim.log()));
    QVERIFY(com1.send("\x05" "A,150\x1a\x07" "B\x1a\x05" "A,170\x1a"));
    QVERIFY(com1.waitFor('A', 2000, [](const Reading& r) { return r.setting == 170; }));
    QVERIFY2(logged(u.sim, "port 1: dropped SetTemperature A 150 (drop)\nport 1: dropped StopCell B (drop)\n"
                           "port 1: SetTemperature A 170\n"),
             qPrintable(u.sim.log()));

    QVERIFY(control(u.fifo, "ignore-set 1.5\n"));
    QVERIFY2(logged(u.sim, "control: ignore-set 1.5\n"), qPrintable(u.sim.log()));
    QVERIFY(com1.send("\x05" "A,200\x1a\x06" "B,120\x1a"));
    QVERIFY(com1.waitFor('B', 2000, [](const Reading& r) { return r.setting == 120; }));
    QVERIFY2(logged(u.sim, "port 1: not taken SetTemperature A 200\nport 1: Preheat B 120\n"), qPrintable(u.sim.log()));
    com1.clear();
    com1.read(400);
    for (const Reading& r : com1.readingsOf('A')) QCOMPARE(r.setting, 170.0);
    QVERIFY(!u.sim.log().contains("port 1: SetTemperature A 200\n"));
    // Once the time is up it takes set points again.
    QTest::qWait(1200);
    QVERIFY(com1.send("\x05" "A,210\x1a"));
    QVERIFY(com1.waitFor('A', 2000, [](const Reading& r) { return r.setting == 210; }));
    QVERIFY(logged(u.sim, "port 1: SetTemperature A 210\n"));
}

QTEST_GUILESS_MAIN(TestTorvanSim)
#include "tst_torvansim.moc"
