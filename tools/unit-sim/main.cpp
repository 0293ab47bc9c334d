// torvan-sim: stands in for Torvan swell-test units, one per pseudo-terminal, so the program can run
// without hardware.
//
// Each port given with --ports gets a pseudo-terminal in raw mode and a link FOLDER/COMn to its slave
// side (the program opens port n through that link). Each port is one unit with two cells, A and B.
//
// Link (bytes; every command and every record ends with byte 26, SUB):
//   from the program   ENQ(5) L ',' T SUB   SetTemperature of cell L to T (whole degrees F, "000" style,
//                                           may be negative: "-004")
//                      ACK(6) L ',' T SUB   Preheat of cell L to T
//                      BEL(7) L SUB         StopCell of cell L
//                      VT(11) SUB           FactoryZero (accepted, no effect)
//                      anything else up to a SUB is ignored (and logged with --verbose).
//   to the program     every period (default 400 ms, always below the program's 500 ms poll) one record
//                      per cell: "A<n>,<cell F>,<bath F>,<setting F>,<millivolts>,<psi>" SUB, and the same
//                      for B; <n> is the port number.
//
// Model, per cell (temperatures in degrees F):
//   ambient 72. setting = the last SetTemperature/Preheat set point, 0 after StopCell.
//   bath temperature approaches max(ambient, setting) first-order with a time constant of 20 s;
//   cell temperature follows the bath first-order with a lag of 4 s. After a stop both fall back to
//   ambient the same way.
//   pressure = --pressure psi (default 1100, above the 1029 psi that a 680 F set point needs) with noise
//   of +-2 psi, sent as a whole number.
//   wafer length L (inches) = wafer x (1 + swellMax x (1 - exp(-t / tau))), t = seconds the cell has been
//   heated so far (setting above ambient); t stops growing after a stop, so L never shrinks.
//   transducer: length = 0.25 in/V x volts + 0.1 in, so millivolts = 1000 x (L - 0.1) / 0.25
//   (dry 0.5 in gives 1600 mV), noise +-0.2 mV. A matching calibration file has CalVolt1..3 = 1, 2.5, 4,
//   CalIntercept1 = CalIntercept2 = 0.1 and CalSlope1 = CalSlope2 = 0.25 for every cell.
//   The noise is drawn from a generator seeded with --seed (and the port number), so runs repeat.
//
// Control channel (--control PATH): a FIFO (made when missing) that takes one line at a time, so that a test
// or a person can put a calibration spacer or a pressure on a cell while the simulator runs:
//   length A 0.65      cell A holds a spacer of 0.65 in: field 5 is the displacement transducer's output
//                      for that length (1000 x (0.65 - 0.1) / 0.25 = 2200 mV), without noise
//   pressure B 1000    cell B is held at 1000 psi (field 6), and field 5 carries the pressure transducer's
//                      output, 500 mV + 4 mV/psi (4500 mV at 1000 psi), without noise
//   model A            cell A back to the model
//   restart [S]        the unit is switched off for S seconds (default 0) and on again: no records and
//                      every command dropped while it is off, then both cells at the unit's own power-on
//                      setting, 75 F, behind the same pseudo-terminal and link
//   silent S           no records for S seconds; commands are still read and obeyed
//   unplug S           the link goes for S seconds (pseudo-terminal closed, COMn removed) while the unit
//                      keeps its set points and goes on heating; then a new pseudo-terminal behind a COMn
//                      link made anew, as a replugged adapter
//   cable S            a serial cable pulled between the adapter and the unit for S seconds: the
//                      pseudo-terminal stays open and linked, but no records arrive and every command sent
//                      is lost (logged as "dropped ... (cable pulled)"), while the unit keeps its set points
//                      and goes on heating
//   drop N             the next N commands the unit receives are lost (logged as "dropped ... (drop)")
//   ignore-set S       for S seconds the unit receives SetTemperature commands but does not take them
//                      (logged as "not taken SetTemperature ..."); other commands are obeyed
// A leading port number applies the line to that port only ("2 length A 0.4"); without one it applies to
// every port. A bad line is reported on stderr and changes nothing.
//
// The simulator keeps its own descriptor of each slave open, so the program can close and reopen a port
// without the pseudo-terminal hanging up. Records that nobody reads pile up in the slave's input queue;
// once more than about 1 KB waits there the queue is emptied, so a program that opens the port late does
// not get a long backlog of stale readings.

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;

namespace {

constexpr double kAmbientF = 72.0;
constexpr double kPowerOnSettingF = 75.0;   // a unit's own setting after it was switched on (restart)
constexpr double kBathTauS = 20.0;
constexpr double kCellLagS = 4.0;
constexpr double kSlopeInPerVolt = 0.25;
constexpr double kInterceptIn = 0.1;
constexpr double kMilliVoltNoise = 0.2;
constexpr double kPressureNoisePsi = 2.0;
constexpr double kSplitPauseMs = 150.0;
constexpr double kPressureZeroMilliVolt = 500.0;   // pressure transducer at 0 psi
constexpr double kPressureMilliVoltPerPsi = 4.0;

constexpr char kEnq = 5;
constexpr char kAck = 6;
constexpr char kBel = 7;
constexpr char kVt = 11;
constexpr char kSub = 26;

constexpr std::size_t kMaxCommandBytes = 64;     // a partial command longer than this is garbage
constexpr int kStaleBacklogBytes = 1024;         // unread records beyond this are thrown away
constexpr std::size_t kMaxPendingOutput = 65536; // bytes the master would not take; beyond this, dropped
constexpr std::size_t kMaxControlLine = 256;     // a control line longer than this is refused

const char* const kUsage =
    "usage: torvan-sim --dir FOLDER --ports 1,2 [options]\n"
    "\n"
    "Simulates Torvan swell-test units, one per port. For each port n it opens a pseudo-terminal and\n"
    "links FOLDER/COMn to it; the links are removed again on exit (SIGINT, SIGTERM, SIGHUP).\n"
    "\n"
    "options:\n"
    "  --dir FOLDER        folder for the COMn links (created when missing)\n"
    "  --ports LIST        port numbers 1..20, comma separated (e.g. 1,2)\n"
    "  --period-ms MS      interval between record batches, 20..499 (default 400)\n"
    "  --seed N            seed of the noise (default 1)\n"
    "  --pressure PSI      pressure reported by every cell (default 1100)\n"
    "  --wafer IN          dry wafer length in inches (default 0.5)\n"
    "  --swell-tau S       time constant of the swell in seconds (default 300)\n"
    "  --swell-max FRAC    final swell as a fraction of the dry length (default 0.2)\n"
    "  --silent-after S    stop sending records after S seconds (commands are still read)\n"
    "  --garbage           send bytes without any record end instead of records\n"
    "  --split             cut every record across two writes, 150 ms apart (less when the period\n"
    "                      is too short for that)\n"
    "  --drop-cell A|B     never send records of that cell (may be repeated)\n"
    "  --control PATH      control channel: a FIFO (made when missing, removed on exit) that takes lines\n"
    "                      to put a spacer or a pressure on a cell while the simulator runs (below)\n"
    "  --verbose           log every command and control line received on stderr\n"
    "  --help              this text\n"
    "\n"
    "Commands (each ends with byte 26): 5 L ',' T = SetTemperature, 6 L ',' T = Preheat,\n"
    "7 L = StopCell, 11 = FactoryZero (no effect); L is A or B, T whole degrees F (\"250\", \"-004\").\n"
    "Records, per cell every period: \"A<port>,<cell F>,<bath F>,<setting F>,<millivolts>,<psi>\" + byte 26.\n"
    "\n"
    "Model: ambient 72 F. The setting is the last SetTemperature/Preheat set point, 0 after StopCell.\n"
    "The bath approaches max(ambient, setting) with a time constant of 20 s, the cell temperature follows\n"
    "the bath with a lag of 4 s; after a stop both return to ambient. Pressure: --pressure +-2 psi.\n"
    "Wafer length L = wafer * (1 + swell-max * (1 - exp(-t / swell-tau))), t = seconds heated so far\n"
    "(setting above ambient); it does not shrink after a stop. Transducer: length = 0.25 * volts + 0.1,\n"
    "so millivolts = 1000 * (L - 0.1) / 0.25 (0.5 in -> 1600 mV), noise +-0.2 mV. Matching calibration:\n"
    "CalVolt1..3 = 1, 2.5, 4; CalIntercept1 = CalIntercept2 = 0.1; CalSlope1 = CalSlope2 = 0.25.\n"
    "\n"
    "Control lines (--control PATH; e.g. echo 'length A 0.65' > PATH), one per line:\n"
    "  length A|B INCHES   a spacer in the cell: millivolts = 1000 * (INCHES - 0.1) / 0.25, no noise\n"
    "                      (0.4 -> 1200, 0.65 -> 2200, 0.9 -> 3200)\n"
    "  pressure A|B PSI    the cell held at PSI: the pressure field reports PSI, and the transducer field\n"
    "                      (millivolts) carries the pressure transducer, 500 + 4 * PSI, no noise\n"
    "  model A|B           the cell back to the model\n"
    "  restart [S]         the unit is off for S seconds (default 0: none) and on again: while off no\n"
    "                      records and every command dropped; then both cells at the unit's power-on\n"
    "                      setting, 75 F (the model's temperatures go on from where they were), behind\n"
    "                      the same pseudo-terminal and link\n"
    "  silent S            no records for S seconds; commands are still read and obeyed\n"
    "  unplug S            the link goes for S seconds: the pseudo-terminal is closed and COMn removed\n"
    "                      (the program's port sees its device vanish; commands cannot arrive) while the\n"
    "                      unit keeps its set points and goes on heating; then a new pseudo-terminal\n"
    "                      behind a COMn link made anew, as a replugged adapter\n"
    "  cable S             the cable between adapter and unit is pulled for S seconds: the pseudo-terminal\n"
    "                      stays open and linked (writes succeed), but no records come and every command\n"
    "                      is lost, while the unit keeps its set points and goes on heating\n"
    "  drop N              the next N commands (1..1000) the unit receives are lost\n"
    "  ignore-set S        for S seconds SetTemperature is received but not taken (the setting stays);\n"
    "                      Preheat, StopCell and FactoryZero are obeyed\n"
    "A leading port number (\"2 length A 0.4\", \"1 restart 2\") applies a line to that port only, else\n"
    "to every port. S is seconds, 0..3600, decimals allowed.\n"
    "With --verbose, what the unit does on these lines is logged too (\"unit off\", \"unit on\",\n"
    "\"unplugged\", \"plugged in -> PATH\", \"ignored (unit off) ...\", \"cable pulled\", \"cable back\").\n"
    "A command the unit obeyed is logged as \"port N: SetTemperature A 150\" (\"Preheat B 120\",\n"
    "\"StopCell A\", \"FactoryZero\"); one it lost as \"port N: dropped SetTemperature A 150 (cable\n"
    "pulled)\" or \"... (drop)\", one it received and did not take as \"port N: not taken SetTemperature\n"
    "A 150\".\n";

volatile std::sig_atomic_t gStop = 0;

void onStopSignal(int) { gStop = 1; }

struct Options {
    fs::path dir;
    std::vector<int> ports;
    int periodMs = 400;
    std::uint64_t seed = 1;
    double pressure = 1100.0;
    double wafer = 0.5;
    double swellTau = 300.0;
    double swellMax = 0.2;
    double silentAfter = -1.0;   // negative: never
    bool garbage = false;
    bool split = false;
    bool dropCell[2] = {false, false};
    bool verbose = false;
    fs::path control;
};

struct Cell {
    double setting = 0.0;
    double bath = kAmbientF;
    double temperature = kAmbientF;
    double heatedSeconds = 0.0;
    // Set through the control channel: a spacer in the cell, or a pressure held on it.
    enum class Held { Model, Length, Pressure } held = Held::Model;
    double heldValue = 0.0;
};

struct Chunk {
    TimePoint due;
    std::string bytes;
};

struct Port {
    int number = 0;
    int master = -1;
    int slave = -1;
    std::string slavePath;
    fs::path link;
    bool linked = false;
    std::mt19937_64 rng;
    Cell cells[2];
    std::string input;             // command bytes received, up to the next SUB
    std::string output;            // bytes the master did not take yet
    std::deque<Chunk> chunks;      // writes scheduled for later (split records)
    TimePoint nextPeriod;
    TimePoint lastUpdate;
    TimePoint quietUntil;          // after a hang-up, the master is not polled for reading until then
    bool silentNoted = false;
    // Control channel: switched off (restart), records held back (silent), link gone (unplug) until then.
    bool off = false;
    TimePoint offUntil;
    TimePoint silentUntil;
    bool unplugged = false;
    TimePoint unpluggedUntil;
    bool cablePulled = false;      // cable: no records, commands lost, until cableUntil
    TimePoint cableUntil;
    std::string lost;              // bytes received while the cable is pulled, up to the next SUB
    int dropCommands = 0;          // drop: commands still to lose
    TimePoint ignoreSetUntil;      // ignore-set: SetTemperature not taken until then
};

// ---- command line ----------------------------------------------------------------------------------

bool parseDouble(std::string_view s, double& out)
{
    if (s.empty()) return false;
    double v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

template <typename Int>
bool parseInt(std::string_view s, Int& out)
{
    if (s.empty()) return false;
    Int v{};
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
    out = v;
    return true;
}

bool parsePorts(std::string_view s, std::vector<int>& out)
{
    std::set<int> seen;
    while (true) {
        const std::size_t comma = s.find(',');
        int n = 0;
        if (!parseInt(s.substr(0, comma), n) || n < 1 || n > 20 || !seen.insert(n).second) return false;
        out.push_back(n);
        if (comma == std::string_view::npos) return true;
        s.remove_prefix(comma + 1);
    }
}

// Returns 0 on success, 1 after --help, 2 on a usage error (message printed).
int parseOptions(int argc, char** argv, Options& o)
{
    auto fail = [](const std::string& msg) {
        std::fprintf(stderr, "torvan-sim: %s\n(see torvan-sim --help)\n", msg.c_str());
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool hasValue = false;
        if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
            hasValue = true;
        }
        auto flag = [&](bool& target) {
            if (hasValue) return false;
            target = true;
            return true;
        };
        auto next = [&]() {
            if (hasValue) return true;
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        auto bad = [&]() { return fail("bad value for " + name + ": \"" + value + "\""); };

        if (name == "--help" || name == "-h") {
            std::fputs(kUsage, stdout);
            return 1;
        } else if (name == "--garbage" || name == "--split" || name == "--verbose") {
            bool& target = name == "--garbage" ? o.garbage : name == "--split" ? o.split : o.verbose;
            if (!flag(target)) return fail(name + " takes no value");
        } else if (name == "--dir" || name == "--ports" || name == "--period-ms" || name == "--seed"
                   || name == "--pressure" || name == "--wafer" || name == "--swell-tau"
                   || name == "--swell-max" || name == "--silent-after" || name == "--drop-cell"
                   || name == "--control") {
            if (!next()) return fail(name + " needs a value");
            if (name == "--dir") {
                if (value.empty()) return bad();
                o.dir = value;
            } else if (name == "--ports") {
                o.ports.clear();
                if (!parsePorts(value, o.ports)) return bad();
            } else if (name == "--period-ms") {
                if (!parseInt(value, o.periodMs) || o.periodMs < 20 || o.periodMs > 499) return bad();
            } else if (name == "--seed") {
                if (!parseInt(value, o.seed)) return bad();
            } else if (name == "--pressure") {
                if (!parseDouble(value, o.pressure) || o.pressure < 0) return bad();
            } else if (name == "--wafer") {
                if (!parseDouble(value, o.wafer) || o.wafer <= 0) return bad();
            } else if (name == "--swell-tau") {
                if (!parseDouble(value, o.swellTau) || o.swellTau <= 0) return bad();
            } else if (name == "--swell-max") {
                if (!parseDouble(value, o.swellMax) || o.swellMax < 0) return bad();
            } else if (name == "--control") {
                if (value.empty()) return bad();
                o.control = value;
            } else if (name == "--silent-after") {
                if (!parseDouble(value, o.silentAfter) || o.silentAfter < 0) return bad();
            } else {
                if (value == "A" || value == "a" || value == "1") o.dropCell[0] = true;
                else if (value == "B" || value == "b" || value == "2") o.dropCell[1] = true;
                else return bad();
            }
        } else {
            return fail("unknown option \"" + std::string(argv[i]) + "\"");
        }
    }
    if (o.dir.empty()) return fail("--dir FOLDER is required");
    if (o.ports.empty()) return fail("--ports LIST is required");
    return 0;
}

// ---- text ------------------------------------------------------------------------------------------

std::string fixed(double v, int decimals)
{
    if (std::fabs(v) < 0.5 * std::pow(10.0, -decimals)) v = 0.0;   // no "-0.0"
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

std::string whole(long long v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string escaped(std::string_view bytes)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += char(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// ---- pseudo-terminals and links --------------------------------------------------------------------

bool makeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool openPty(Port& p, std::string& err)
{
    p.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (p.master < 0) {
        err = std::string("posix_openpt: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (grantpt(p.master) != 0 || unlockpt(p.master) != 0 || ptsname_r(p.master, name, sizeof name) != 0) {
        err = std::string("pseudo-terminal set-up: ") + std::strerror(errno);
        return false;
    }
    p.slavePath = name;
    // Our own slave descriptor: without it the master would hang up whenever the program closes the port.
    p.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p.slave < 0) {
        err = "open " + p.slavePath + ": " + std::strerror(errno);
        return false;
    }
    // Raw on both sides: in the default mode byte 26 is the suspend character and CR/LF get translated.
    if (!makeRaw(p.slave) || !makeRaw(p.master)) {
        err = std::string("raw mode: ") + std::strerror(errno);
        return false;
    }
    fcntl(p.master, F_SETFD, FD_CLOEXEC);
    const int fl = fcntl(p.master, F_GETFL);
    fcntl(p.master, F_SETFL, fl | O_NONBLOCK);
    return true;
}

// Points dir/COMn at the slave. A link left behind by an earlier run is replaced (atomically, through a
// temporary link and rename); anything else of that name is left alone and refused.
bool makeLink(Port& p, const fs::path& dir, std::string& err)
{
    p.link = dir / ("COM" + whole(p.number));
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(p.link, ec);
    if (!ec && fs::exists(st) && !fs::is_symlink(st)) {
        err = p.link.string() + " exists and is not a link; not replacing it";
        return false;
    }
    const fs::path tmp = dir / (".COM" + whole(p.number) + ".torvan-sim." + whole(getpid()));
    fs::remove(tmp, ec);
    fs::create_symlink(p.slavePath, tmp, ec);
    if (ec) {
        err = "cannot create link " + tmp.string() + ": " + ec.message();
        return false;
    }
    fs::rename(tmp, p.link, ec);
    if (ec) {
        err = "cannot create link " + p.link.string() + ": " + ec.message();
        fs::remove(tmp, ec);
        return false;
    }
    p.linked = true;
    return true;
}

// Removes the link only while it still points at our pseudo-terminal (another run may have taken it).
void removeLink(Port& p)
{
    if (!p.linked) return;
    std::error_code ec;
    if (fs::read_symlink(p.link, ec) == fs::path(p.slavePath) && !ec) fs::remove(p.link, ec);
    p.linked = false;
}

void closePort(Port& p)
{
    removeLink(p);
    if (p.slave >= 0) close(p.slave);
    if (p.master >= 0) close(p.master);
    p.slave = p.master = -1;
}

// ---- the unit --------------------------------------------------------------------------------------

void advance(Cell& c, double dt)
{
    const double target = std::max(kAmbientF, c.setting);
    c.bath += (target - c.bath) * (1.0 - std::exp(-dt / kBathTauS));
    c.temperature += (c.bath - c.temperature) * (1.0 - std::exp(-dt / kCellLagS));
    if (c.setting > kAmbientF) c.heatedSeconds += dt;
}

double waferLength(const Cell& c, const Options& o)
{
    return o.wafer * (1.0 + o.swellMax * (1.0 - std::exp(-c.heatedSeconds / o.swellTau)));
}

std::string record(Port& p, int cellIndex, const Options& o)
{
    const Cell& c = p.cells[cellIndex];
    std::uniform_real_distribution<double> mvNoise(-kMilliVoltNoise, kMilliVoltNoise);
    std::uniform_real_distribution<double> psiNoise(-kPressureNoisePsi, kPressureNoisePsi);
    double mv = 1000.0 * (waferLength(c, o) - kInterceptIn) / kSlopeInPerVolt + mvNoise(p.rng);
    long long psi = std::max(0LL, std::llround(o.pressure + psiNoise(p.rng)));
    if (c.held == Cell::Held::Length) {
        mv = 1000.0 * (c.heldValue - kInterceptIn) / kSlopeInPerVolt;
    } else if (c.held == Cell::Held::Pressure) {
        mv = kPressureZeroMilliVolt + kPressureMilliVoltPerPsi * c.heldValue;
        psi = std::llround(c.heldValue);
    }
    std::string r(1, cellIndex == 0 ? 'A' : 'B');
    r += whole(p.number);
    r += ',' + fixed(c.temperature, 1) + ',' + fixed(c.bath, 1) + ',' + fixed(c.setting, 1) + ','
         + fixed(mv, 1) + ',' + whole(psi);
    r += kSub;
    return r;
}

std::string garbage(Port& p)
{
    static const char alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefxyz,.,.-+ \r\n";
    std::uniform_int_distribution<int> len(30, 45);
    std::uniform_int_distribution<int> pick(0, int(sizeof alphabet) - 2);
    std::string s(std::size_t(len(p.rng)), ' ');
    for (char& ch : s) ch = alphabet[pick(p.rng)];
    return s;
}

void logLine(const Port& p, const std::string& text)
{
    std::fprintf(stderr, "port %d: %s\n", p.number, text.c_str());
}

// Whole degrees F: an optional minus sign and 1..6 digits, nothing else.
bool parseSetPoint(std::string_view s, int& out)
{
    const std::string_view digits = !s.empty() && s[0] == '-' ? s.substr(1) : s;
    if (digits.empty() || digits.size() > 6) return false;
    if (!std::all_of(digits.begin(), digits.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
        return false;
    return parseInt(s, out);
}

// A command as the unit reads it.
struct Command {
    enum class Kind { None, SetTemperature, Preheat, StopCell, FactoryZero } kind = Kind::None;
    int cell = -1;   // 0 = A, 1 = B
    int setPoint = 0;
};

Command parseCommand(std::string_view cmd)
{
    auto cellOf = [](char letter) { return letter == 'A' ? 0 : letter == 'B' ? 1 : -1; };
    const char code = cmd.empty() ? 0 : cmd[0];
    Command c;
    if ((code == kEnq || code == kAck) && cmd.size() >= 4 && cellOf(cmd[1]) >= 0 && cmd[2] == ','
        && parseSetPoint(cmd.substr(3), c.setPoint)) {
        c.kind = code == kEnq ? Command::Kind::SetTemperature : Command::Kind::Preheat;
        c.cell = cellOf(cmd[1]);
    } else if (code == kBel && cmd.size() == 2 && cellOf(cmd[1]) >= 0) {
        c.kind = Command::Kind::StopCell;
        c.cell = cellOf(cmd[1]);
    } else if (code == kVt && cmd.size() == 1) {
        c.kind = Command::Kind::FactoryZero;
    }
    return c;
}

// "SetTemperature A 150", "Preheat B 120", "StopCell A", "FactoryZero"; the bytes of anything else.
std::string describe(const Command& c, std::string_view cmd)
{
    const std::string letter(1, c.cell == 0 ? 'A' : 'B');
    switch (c.kind) {
    case Command::Kind::SetTemperature: return "SetTemperature " + letter + ' ' + whole(c.setPoint);
    case Command::Kind::Preheat: return "Preheat " + letter + ' ' + whole(c.setPoint);
    case Command::Kind::StopCell: return "StopCell " + letter;
    case Command::Kind::FactoryZero: return "FactoryZero";
    case Command::Kind::None: break;
    }
    return '"' + escaped(cmd) + '"';
}

void handleCommand(Port& p, std::string_view cmd, TimePoint now, const Options& o)
{
    const Command c = parseCommand(cmd);
    if (c.kind == Command::Kind::None) {
        if (o.verbose) logLine(p, "ignored \"" + escaped(cmd) + "\"");
        return;
    }
    if (p.dropCommands > 0) {
        --p.dropCommands;
        if (o.verbose) logLine(p, "dropped " + describe(c, cmd) + " (drop)");
        return;
    }
    if (c.kind == Command::Kind::SetTemperature && now < p.ignoreSetUntil) {
        if (o.verbose) logLine(p, "not taken " + describe(c, cmd));
        return;
    }
    if (c.kind == Command::Kind::SetTemperature || c.kind == Command::Kind::Preheat)
        p.cells[c.cell].setting = c.setPoint;
    else if (c.kind == Command::Kind::StopCell)
        p.cells[c.cell].setting = 0.0;
    if (o.verbose) logLine(p, describe(c, cmd));
}

// Bytes that reach the pseudo-terminal while the cable is pulled: lost before the unit, each command logged.
void loseInput(Port& p, const char* data, std::size_t n, const Options& o)
{
    p.lost.append(data, n);
    std::size_t end;
    while ((end = p.lost.find(kSub)) != std::string::npos) {
        const std::string cmd = p.lost.substr(0, end);
        p.lost.erase(0, end + 1);
        if (o.verbose) logLine(p, "dropped " + describe(parseCommand(cmd), cmd) + " (cable pulled)");
    }
    if (p.lost.size() > kMaxCommandBytes) p.lost.clear();
}

void takeInput(Port& p, const char* data, std::size_t n, TimePoint now, const Options& o)
{
    if (p.off) {
        // Switched off: nothing it is sent is kept.
        if (o.verbose) logLine(p, "ignored (unit off) \"" + escaped(std::string_view(data, n)) + "\"");
        return;
    }
    if (p.cablePulled) {
        loseInput(p, data, n, o);
        return;
    }
    p.input.append(data, n);
    std::size_t end;
    while ((end = p.input.find(kSub)) != std::string::npos) {
        const std::string cmd = p.input.substr(0, end);
        p.input.erase(0, end + 1);
        handleCommand(p, cmd, now, o);
    }
    if (p.input.size() > kMaxCommandBytes) {
        if (o.verbose) logLine(p, "ignored \"" + escaped(p.input) + "\" (no end byte)");
        p.input.clear();
    }
}

void readMaster(Port& p, TimePoint now, const Options& o)
{
    char buf[512];
    while (true) {
        const ssize_t n = read(p.master, buf, sizeof buf);
        if (n > 0) {
            takeInput(p, buf, std::size_t(n), now, o);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EIO) p.quietUntil = now + std::chrono::milliseconds(100);   // nobody on the slave
        return;
    }
}

void writeOutput(Port& p, TimePoint now)
{
    while (!p.output.empty()) {
        const ssize_t n = write(p.master, p.output.data(), p.output.size());
        if (n > 0) {
            p.output.erase(0, std::size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EIO) p.quietUntil = now + std::chrono::milliseconds(100);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EIO) p.output.clear();
        break;
    }
    if (p.output.size() > kMaxPendingOutput) p.output.clear();
}

// One period: move the model on, then send (or schedule) this period's records.
void runPeriod(Port& p, TimePoint now, TimePoint start, const Options& o)
{
    const double dt = std::chrono::duration<double>(now - p.lastUpdate).count();
    p.lastUpdate = now;
    for (Cell& c : p.cells) advance(c, dt);

    if (p.off || p.unplugged || p.cablePulled || now < p.silentUntil) return;
    if (o.silentAfter >= 0 && std::chrono::duration<double>(now - start).count() >= o.silentAfter) {
        if (!p.silentNoted && o.verbose) logLine(p, "silent from now on");
        p.silentNoted = true;
        return;
    }

    // Nobody has read for a while: drop the stale records rather than let the next reader get them.
    int queued = 0;
    if (ioctl(p.slave, TIOCINQ, &queued) == 0 && queued > kStaleBacklogBytes) tcflush(p.slave, TCIFLUSH);

    std::vector<std::string> items;
    for (int cell = 0; cell < 2; ++cell) {
        if (o.dropCell[cell]) continue;
        items.push_back(o.garbage ? garbage(p) : record(p, cell, o));
    }
    if (items.empty()) return;

    if (!o.split) {
        std::string all;
        for (const std::string& s : items) all += s;
        p.chunks.push_back({now, all});
        return;
    }
    // Each item is cut at a random place; its second half goes out with the first half of the next item,
    // after a pause. The pause is the same every time, so a cell's records still complete exactly one
    // period apart, and the pauses of one period add up to less than the period.
    const auto pause = std::chrono::microseconds(
        std::llround(1000.0 * std::min(kSplitPauseMs, (o.periodMs - 20.0) / double(items.size()))));
    TimePoint due = now;
    std::string carry;
    for (const std::string& s : items) {
        std::uniform_int_distribution<std::size_t> cut(1, s.size() - 1);
        const std::size_t at = cut(p.rng);
        p.chunks.push_back({due, carry + s.substr(0, at)});
        carry = s.substr(at);
        due += pause;
    }
    p.chunks.push_back({due, carry});
}

// ---- control channel -------------------------------------------------------------------------------

struct Control {
    int fd = -1;          // read end
    int keepOpen = -1;    // our own write end, so the FIFO never reports end of file between writers
    bool made = false;    // we made the FIFO (and remove it on exit)
    std::string line;
};

bool openControl(Control& c, const fs::path& path, std::string& err)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        if (mkfifo(path.c_str(), 0600) != 0) {
            err = "cannot make FIFO " + path.string() + ": " + std::strerror(errno);
            return false;
        }
        c.made = true;
    } else if (!S_ISFIFO(st.st_mode)) {
        err = path.string() + " exists and is not a FIFO";
        return false;
    }
    c.fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (c.fd >= 0) c.keepOpen = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (c.fd < 0 || c.keepOpen < 0) {
        err = "cannot open FIFO " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void closeControl(Control& c, const fs::path& path)
{
    if (c.fd >= 0) close(c.fd);
    if (c.keepOpen >= 0) close(c.keepOpen);
    c.fd = c.keepOpen = -1;
    std::error_code ec;
    if (c.made) fs::remove(path, ec);
    c.made = false;
}

std::vector<std::string_view> words(std::string_view s)
{
    std::vector<std::string_view> out;
    while (true) {
        const std::size_t b = s.find_first_not_of(" \t\r");
        if (b == std::string_view::npos) return out;
        s.remove_prefix(b);
        const std::size_t e = std::min(s.find_first_of(" \t\r"), s.size());
        out.push_back(s.substr(0, e));
        s.remove_prefix(e);
    }
}

// The link goes: the pseudo-terminal is closed, so the program's port sees its device vanish, and COMn is
// removed. The unit itself runs on.
void unplug(Port& p, TimePoint until, const Options& o)
{
    if (!p.unplugged) {
        closePort(p);
        p.input.clear();
        p.output.clear();
        p.chunks.clear();
        p.unplugged = true;
        if (o.verbose) logLine(p, "unplugged");
    }
    p.unpluggedUntil = until;
}

// The link is back: a new pseudo-terminal behind a COMn link made anew. When that fails it is reported and
// tried again a second later.
void plugIn(Port& p, TimePoint now, const Options& o)
{
    std::string err;
    if (!openPty(p, err) || !makeLink(p, o.dir, err)) {
        std::fprintf(stderr, "torvan-sim: port %d: %s\n", p.number, err.c_str());
        closePort(p);
        p.unpluggedUntil = now + std::chrono::seconds(1);
        return;
    }
    p.unplugged = false;
    p.quietUntil = now;
    if (o.verbose) logLine(p, "plugged in -> " + p.slavePath);
}

// Switched off for a while (commands dropped, no records, heaters off), then on at the power-on setting.
void switchOff(Port& p, TimePoint until, const Options& o)
{
    p.off = true;
    p.offUntil = until;
    p.input.clear();
    p.chunks.clear();
    for (Cell& c : p.cells) c.setting = 0.0;
    if (o.verbose) logLine(p, "unit off");
}

void switchOn(Port& p, const Options& o)
{
    p.off = false;
    for (Cell& c : p.cells) c.setting = kPowerOnSettingF;
    if (o.verbose) logLine(p, "unit on");
}

// The cable between adapter and unit is pulled until `until`: the pseudo-terminal stays, nothing crosses.
void pullCable(Port& p, TimePoint until, const Options& o)
{
    if (!p.cablePulled) {
        p.cablePulled = true;
        p.input.clear();    // a command under way is cut
        p.chunks.clear();   // records under way are cut
        p.lost.clear();
        if (o.verbose) logLine(p, "cable pulled");
    }
    p.cableUntil = until;
}

void cableBack(Port& p, const Options& o)
{
    p.cablePulled = false;
    p.lost.clear();
    if (o.verbose) logLine(p, "cable back");
}

// The times the control channel set: a unit switched on again, a link plugged in again, a cable back.
void controlTimers(Port& p, TimePoint now, TimePoint& wake, const Options& o)
{
    if (p.cablePulled) {
        if (now >= p.cableUntil) cableBack(p, o);
        else wake = std::min(wake, p.cableUntil);
    }
    if (p.off) {
        if (now >= p.offUntil) switchOn(p, o);
        else wake = std::min(wake, p.offUntil);
    }
    if (p.unplugged) {
        if (now >= p.unpluggedUntil) plugIn(p, now, o);
        else wake = std::min(wake, p.unpluggedUntil);
    }
}

// Applies one control line; false (with the reason) when the line is not understood.
bool applyControl(std::vector<Port>& ports, std::string_view line, std::string& err, TimePoint now,
                  const Options& o)
{
    std::vector<std::string_view> w = words(line);
    if (w.empty()) return true;
    int port = 0;
    if (parseInt(w[0], port)) {
        w.erase(w.begin());
        if (std::none_of(ports.begin(), ports.end(), [port](const Port& p) { return p.number == port; })) {
            err = "no port " + whole(port);
            return false;
        }
    }
    if (!w.empty() && w[0] == "drop") {
        int n = 0;
        if (w.size() != 2 || !parseInt(w[1], n) || n < 1 || n > 1000) {
            err = "expected: [PORT] drop COMMANDS (1..1000)";
            return false;
        }
        for (Port& p : ports)
            if (port == 0 || p.number == port) p.dropCommands = n;
        return true;
    }
    // Lines for the whole unit.
    if (!w.empty()
        && (w[0] == "restart" || w[0] == "silent" || w[0] == "unplug" || w[0] == "cable" || w[0] == "ignore-set")) {
        double seconds = 0.0;
        const bool optional = w[0] == "restart";
        if (w.size() > 2 || (w.size() == 1 && !optional)
            || (w.size() == 2 && (!parseDouble(w[1], seconds) || seconds < 0 || seconds > 3600))) {
            err = "expected: [PORT] restart [SECONDS], or [PORT] silent|unplug|cable|ignore-set SECONDS (0..3600)";
            return false;
        }
        const TimePoint until =
            now + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(seconds));
        for (Port& p : ports) {
            if (port != 0 && p.number != port) continue;
            if (w[0] == "silent") {
                p.silentUntil = until;
            } else if (w[0] == "cable") {
                pullCable(p, until, o);
                if (seconds == 0.0) cableBack(p, o);
            } else if (w[0] == "ignore-set") {
                p.ignoreSetUntil = until;
            } else if (w[0] == "unplug") {
                unplug(p, until, o);
            } else {
                switchOff(p, until, o);
                if (seconds == 0.0) switchOn(p, o);
            }
        }
        return true;
    }
    if (w.size() < 2 || (w[1] != "A" && w[1] != "B" && w[1] != "a" && w[1] != "b")) {
        err = "expected: [PORT] length|pressure|model A|B [VALUE]";
        return false;
    }
    const int cell = (w[1] == "A" || w[1] == "a") ? 0 : 1;
    Cell::Held held;
    double value = 0.0;
    if (w[0] == "model" && w.size() == 2) {
        held = Cell::Held::Model;
    } else if ((w[0] == "length" || w[0] == "pressure") && w.size() == 3 && parseDouble(w[2], value)
               && value >= 0) {
        held = w[0] == "length" ? Cell::Held::Length : Cell::Held::Pressure;
    } else {
        err = "expected: [PORT] length A|B INCHES, [PORT] pressure A|B PSI or [PORT] model A|B";
        return false;
    }
    for (Port& p : ports) {
        if (port != 0 && p.number != port) continue;
        p.cells[cell].held = held;
        p.cells[cell].heldValue = value;
    }
    return true;
}

void readControl(Control& c, std::vector<Port>& ports, const Options& o, TimePoint now)
{
    char buf[256];
    while (true) {
        const ssize_t n = read(c.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] != '\n') {
                if (c.line.size() <= kMaxControlLine) c.line += buf[i];
                continue;
            }
            std::string err;
            if (c.line.size() > kMaxControlLine)
                std::fprintf(stderr, "torvan-sim: control: line too long, ignored\n");
            else if (!applyControl(ports, c.line, err, now, o))
                std::fprintf(stderr, "torvan-sim: control: \"%s\": %s\n", escaped(c.line).c_str(), err.c_str());
            else if (o.verbose)
                std::fprintf(stderr, "control: %s\n", escaped(c.line).c_str());
            c.line.clear();
        }
    }
}

int runLoop(std::vector<Port>& ports, const Options& o, const sigset_t& waitMask, Control& control)
{
    const TimePoint start = SteadyClock::now();
    const auto period = std::chrono::milliseconds(o.periodMs);
    for (Port& p : ports) {
        p.lastUpdate = start;
        p.nextPeriod = start;
        p.quietUntil = start;
    }
    std::vector<pollfd> fds(ports.size() + (control.fd >= 0 ? 1 : 0));
    while (!gStop) {
        TimePoint now = SteadyClock::now();
        TimePoint wake = now + std::chrono::milliseconds(200);
        for (Port& p : ports) {
            controlTimers(p, now, wake, o);
            if (now >= p.nextPeriod) {
                runPeriod(p, now, start, o);
                p.nextPeriod += period;
                if (p.nextPeriod <= now) p.nextPeriod = now + period;   // fell behind: do not catch up in a burst
            }
            while (!p.chunks.empty() && p.chunks.front().due <= now) {
                // Each due chunk is its own write, so a reader can see the halves apart.
                p.output += p.chunks.front().bytes;
                p.chunks.pop_front();
                writeOutput(p, now);
            }
            wake = std::min(wake, p.nextPeriod);
            if (!p.chunks.empty()) wake = std::min(wake, p.chunks.front().due);
        }
        for (std::size_t i = 0; i < ports.size(); ++i) {
            Port& p = ports[i];
            fds[i].fd = p.master;   // -1 while unplugged: ppoll skips it
            fds[i].events = short((now >= p.quietUntil ? POLLIN : 0) | (p.output.empty() ? 0 : POLLOUT));
            fds[i].revents = 0;
            if (now < p.quietUntil) wake = std::min(wake, p.quietUntil);
        }
        if (control.fd >= 0) fds.back() = {control.fd, POLLIN, 0};
        const auto waitNs =
            std::max<long long>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now).count());
        const timespec ts{time_t(waitNs / 1000000000), long(waitNs % 1000000000)};
        const int r = ppoll(fds.data(), fds.size(), &ts, &waitMask);
        if (r < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "torvan-sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        now = SteadyClock::now();
        for (std::size_t i = 0; i < ports.size(); ++i) {
            Port& p = ports[i];
            const short ev = fds[i].revents;
            if (ev & POLLIN) readMaster(p, now, o);
            if (ev & POLLOUT) writeOutput(p, now);
            // A hang-up (no slave open anywhere) is temporary: look again a little later instead of spinning.
            if ((ev & (POLLHUP | POLLERR)) && !(ev & POLLIN)) p.quietUntil = now + std::chrono::milliseconds(100);
        }
        if (control.fd >= 0 && (fds.back().revents & POLLIN)) readControl(control, ports, o, now);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (const int r = parseOptions(argc, argv, o); r != 0) return r == 1 ? 0 : 2;

    // Stop signals are blocked except while waiting in ppoll, so a stop is never missed between checks.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGHUP);
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        sigaction(sig, nullptr, &old);
        if (sig == SIGHUP && old.sa_handler == SIG_IGN) continue;   // started under nohup: keep ignoring
        sigaction(sig, &sa, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);

    std::error_code ec;
    fs::create_directories(o.dir, ec);
    if (!fs::is_directory(o.dir)) {
        std::fprintf(stderr, "torvan-sim: %s is not a folder%s%s\n", o.dir.c_str(), ec ? ": " : "",
                     ec ? ec.message().c_str() : "");
        return 1;
    }

    std::vector<Port> ports(o.ports.size());
    int status = 0;
    for (std::size_t i = 0; i < ports.size() && status == 0; ++i) {
        Port& p = ports[i];
        p.number = o.ports[i];
        p.rng.seed(o.seed * 1000003u + std::uint64_t(p.number));
        std::string err;
        if (!openPty(p, err) || !makeLink(p, o.dir, err)) {
            std::fprintf(stderr, "torvan-sim: port %d: %s\n", p.number, err.c_str());
            status = 1;
        }
    }
    Control control;
    if (status == 0 && !o.control.empty()) {
        std::string err;
        if (!openControl(control, o.control, err)) {
            std::fprintf(stderr, "torvan-sim: control: %s\n", err.c_str());
            status = 1;
        }
    }
    if (status == 0) {
        for (const Port& p : ports) std::printf("torvan-sim: port %d -> %s\n", p.number, p.slavePath.c_str());
        std::fflush(stdout);
        status = runLoop(ports, o, waitMask, control);
    }
    closeControl(control, o.control);
    for (Port& p : ports) closePort(p);
    return status;
}
