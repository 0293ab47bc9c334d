// Reply records: cutting the input at SUB, the field rules, the buffer cap, and arbitrary input.
#include "TestSupport.h"
#include "realtime/ReplyRecord.h"

#include <QtTest>

#include <charconv>
#include <random>

using namespace realtime;

namespace {
constexpr char SUB = 26;

QStringList fieldsOf(const QByteArray& record, int* count)
{
    ReplyFields f;
    const std::string_view view(record.constData(), std::size_t(record.size()));
    *count = splitReplyFields(view, f);
    QStringList out;
    for (int i = 0; i < *count; ++i) out << QString::fromLatin1(f[std::size_t(i)].data(), qsizetype(f[std::size_t(i)].size()));
    return out;
}

// Drains every complete record of the buffer.
QList<QByteArray> drain(ReplyBuffer& b)
{
    QList<QByteArray> out;
    std::string_view r;
    while (b.nextRecord(r)) out << QByteArray(r.data(), qsizetype(r.size()));
    return out;
}
} // namespace

class TestReplyRecord : public QObject {
    Q_OBJECT
private slots:
    void split_data();
    void split();
    void parse_data();
    void parse();
    void cutting_data();
    void cutting();
    void capDropsOldestUnfinishedText();
    void capKeepsCompleteRecords();
    void randomInput();
};

void TestReplyRecord::split_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("six") << QByteArray("A1,70,71,72,500,120") << 6
                         << QStringList{"A1", "70", "71", "72", "500", "120"};
    QTest::newRow("trailing comma adds nothing") << QByteArray("A1,70,71,72,500,120,") << 6
                                                 << QStringList{"A1", "70", "71", "72", "500", "120"};
    QTest::newRow("empty between commas") << QByteArray("A1,,71") << 3 << QStringList{"A1", "", "71"};
    QTest::newRow("only commas") << QByteArray(",,,,,") << 5 << QStringList{"", "", "", "", ""};
    QTest::newRow("empty record") << QByteArray("") << 0 << QStringList{};
    QTest::newRow("blank after last comma") << QByteArray("A1,70,71,72,500, ") << 6
                                            << QStringList{"A1", "70", "71", "72", "500", " "};
    QTest::newRow("twenty fields") << QByteArray(",,,,,,,,,,,,,,,,,,,x") << 20 << QStringList(QList<QString>(19, "") << "x");
    QTest::newRow("twenty-one fields") << QByteArray(",,,,,,,,,,,,,,,,,,,,x") << -1 << QStringList{};
    QTest::newRow("twenty then a trailing comma") << QByteArray(",,,,,,,,,,,,,,,,,,,x,") << 20
                                                  << QStringList(QList<QString>(19, "") << "x");
}

void TestReplyRecord::split()
{
    QFETCH(QByteArray, record);
    QFETCH(int, count);
    QFETCH(QStringList, fields);
    int n = 0;
    const QStringList got = fieldsOf(record, &n);
    QCOMPARE(n, count);
    if (count >= 0) QCOMPARE(got, fields);
}

void TestReplyRecord::parse_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("cell");   // 0 = dropped
    QTest::addColumn<double>("temp");
    QTest::addColumn<double>("bath");
    QTest::addColumn<double>("setting");
    QTest::addColumn<double>("milliVolts");
    QTest::addColumn<double>("pressure");
    QTest::newRow("six fields") << QByteArray("A1,70,71,72,500,120") << 1 << 70.0 << 71.0 << 72.0 << 500.0 << 120.0;
    QTest::newRow("six and trailing comma") << QByteArray("B2,70.5,71,72,-12.5,99.5,") << 2 << 70.5 << 71.0 << 72.0
                                            << -12.5 << 99.5;
    QTest::newRow("five fields") << QByteArray("A1,70,71,72,500") << 0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("seven fields") << QByteArray("A1,1,2,3,4,5,6") << 0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("comma after fifth") << QByteArray("A1,70,71,72,500,") << 0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("blank after fifth comma") << QByteArray("A1,70,71,72,500, ") << 1 << 70.0 << 71.0 << 72.0 << 500.0
                                             << 0.0;
    QTest::newRow("five commas and a char") << QByteArray(",,,,,x") << 0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("lower-case tag") << QByteArray("a1,70,71,72,500,120") << 0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("lower-case b") << QByteArray("b,70,71,72,500,120") << 0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("tag B alone") << QByteArray("B,70,71,72,500,120") << 2 << 70.0 << 71.0 << 72.0 << 500.0 << 120.0;
    QTest::newRow("tag with any text") << QByteArray("Axyz,1,2,3,4,5") << 1 << 1.0 << 2.0 << 3.0 << 4.0 << 5.0;
    QTest::newRow("other letter") << QByteArray("C1,70,71,72,500,120") << 0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("CR LF before") << QByteArray("\r\nA1,70,71,72,500,120") << 0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("blank before") << QByteArray(" A1,70,71,72,500,120") << 0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("empty record") << QByteArray("") << 0 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("no numbers read 0") << QByteArray("A1,x,,7up,--1,e5") << 1 << 0.0 << 0.0 << 7.0 << 0.0 << 0.0;
    QTest::newRow("blanks inside numbers") << QByteArray("A1, 7 0.5 ,\t71\n,72,1 600,1e2") << 1 << 70.5 << 71.0
                                           << 72.0 << 1600.0 << 100.0;
    QTest::newRow("CR LF after last field") << QByteArray("A1,70,71,72,500,120\r\n") << 1 << 70.0 << 71.0 << 72.0
                                            << 500.0 << 120.0;
}

void TestReplyRecord::parse()
{
    QFETCH(QByteArray, record);
    QFETCH(int, cell);
    const auto f = parseReplyFrame(std::string_view(record.constData(), std::size_t(record.size())));
    QCOMPARE(f.has_value(), cell != 0);
    if (!f) return;
    QCOMPARE(f->cell, cell);
    QTEST(f->currentTemp, "temp");
    QTEST(f->bathTemp, "bath");
    QTEST(f->tempSetting, "setting");
    QTEST(f->milliVolts, "milliVolts");
    QTEST(f->pressure, "pressure");
}

void TestReplyRecord::cutting_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QList<QByteArray>>("records");   // complete records after the last read
    QTest::addColumn<QByteArray>("rest");
    const QByteArray a = "A1,70,71,72,500,120";
    const QByteArray b = "B1,80,81,82,600,130";
    QTest::newRow("two in one read") << QList<QByteArray>{a + SUB + b + SUB} << QList<QByteArray>{a, b} << QByteArray();
    QTest::newRow("one across two reads") << QList<QByteArray>{a.left(7), a.mid(7) + SUB} << QList<QByteArray>{a}
                                          << QByteArray();
    QTest::newRow("unfinished tail kept") << QList<QByteArray>{a + SUB + b.left(5)} << QList<QByteArray>{a} << b.left(5);
    QTest::newRow("SUB alone") << QList<QByteArray>{QByteArray(1, SUB)} << QList<QByteArray>{QByteArray()} << QByteArray();
    QTest::newRow("CR LF stays with the next record") << QList<QByteArray>{a + SUB + "\r\n" + b + SUB}
                                                      << QList<QByteArray>{a, "\r\n" + b} << QByteArray();
    QTest::newRow("byte by byte") << [&] {
        QList<QByteArray> l;
        for (char c : a + SUB) l << QByteArray(1, c);
        return l;
    }() << QList<QByteArray>{a} << QByteArray();
}

void TestReplyRecord::cutting()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QList<QByteArray>, records);
    QFETCH(QByteArray, rest);
    ReplyBuffer buf;
    QList<QByteArray> got;
    for (const QByteArray& r : reads) {
        buf.append(r);
        QCOMPARE(buf.holdsRecordEnd(), QByteArray(buf.text().data(), qsizetype(buf.size())).contains(SUB));
        got += drain(buf);
        QVERIFY(!buf.holdsRecordEnd());
    }
    QCOMPARE(got, records);
    QCOMPARE(QByteArray(buf.text().data(), qsizetype(buf.size())), rest);
}

void TestReplyRecord::capDropsOldestUnfinishedText()
{
    ReplyBuffer buf;
    QByteArray garbage;
    for (int i = 0; i < 100 * 1024; ++i) garbage += char('a' + i % 26);
    buf.append(garbage.left(40 * 1024));
    QCOMPARE(buf.size(), std::size_t(40 * 1024));
    buf.append(garbage.mid(40 * 1024));
    QCOMPARE(buf.size(), ReplyBuffer::Cap);
    QCOMPARE(QByteArray(buf.text().data(), qsizetype(buf.size())), garbage.right(qsizetype(ReplyBuffer::Cap)));
    // More garbage keeps it at the cap; a SUB then ends one (unreadable) record and empties the buffer.
    for (int i = 0; i < 10; ++i) buf.append(garbage.left(1000));
    QCOMPARE(buf.size(), ReplyBuffer::Cap);
    buf.append(QByteArray(1, SUB) + "A1,70,71,72,500,120" + SUB);
    const QList<QByteArray> records = drain(buf);
    QCOMPARE(records.size(), 2);
    QVERIFY(!parseReplyFrame(std::string_view(records[0].constData(), std::size_t(records[0].size()))));
    QVERIFY(parseReplyFrame(std::string_view(records[1].constData(), std::size_t(records[1].size()))));
    QCOMPARE(buf.size(), std::size_t(0));
}

void TestReplyRecord::capKeepsCompleteRecords()
{
    // One read with complete records followed by more unfinished text than the cap: the records survive,
    // only the unfinished text is cut from its front.
    ReplyBuffer buf;
    const QByteArray a = "A1,70,71,72,500,120";
    const QByteArray tail(70 * 1024, 'x');
    buf.append(a + SUB + a + SUB + tail + "END");
    QCOMPARE(drain(buf), (QList<QByteArray>{a, a}));
    QCOMPARE(buf.size(), ReplyBuffer::Cap);
    QVERIFY(buf.text().substr(buf.size() - 3) == "END");
}

void TestReplyRecord::randomInput()
{
    // Over a million valid records mixed with random bytes, fed in random slices. Nothing may crash or
    // throw, the buffer stays within the cap, no record holds a SUB, and every valid record that follows a
    // SUB is accepted with its own values, in order.
    std::mt19937_64 rng(20240531);
    auto pick = [&](int lo, int hi) { return int(std::uniform_int_distribution<int>(lo, hi)(rng)); };

    std::string stream;
    std::vector<UnitReplyFrame> expected;
    char num[32];
    auto addNumber = [&](double v) {
        const auto r = std::to_chars(num, num + sizeof num, v);
        stream.append(num, std::size_t(r.ptr - num));
    };
    bool afterSub = true;
    ReplyBuffer buf;
    std::size_t frames = 0, matched = 0, records = 0;

    auto feed = [&](bool all) {
        std::size_t pos = 0;
        while (pos < stream.size()) {
            const std::size_t n = std::min<std::size_t>(stream.size() - pos, std::size_t(pick(1, 4096)));
            if (!all && stream.size() - pos < 8192) break;
            buf.append(stream.data() + pos, n);
            pos += n;
            std::string_view r;
            while (buf.nextRecord(r)) {
                ++records;
                QVERIFY(r.find(SUB) == std::string_view::npos);
                if (const auto f = parseReplyFrame(r)) {
                    ++frames;
                    if (matched < expected.size()) {
                        const UnitReplyFrame& e = expected[matched];
                        if (f->cell == e.cell && f->currentTemp == e.currentTemp && f->bathTemp == e.bathTemp
                            && f->tempSetting == e.tempSetting && f->milliVolts == e.milliVolts
                            && f->pressure == e.pressure)
                            ++matched;
                    }
                }
            }
            QVERIFY(buf.size() <= ReplyBuffer::Cap);
        }
        stream.erase(0, pos);
    };

    std::size_t validRecords = 0;
    const std::size_t target = 1'100'000;
    while (validRecords < target) {
        const int kind = pick(0, 99);
        if (kind < 70) {
            UnitReplyFrame f;
            f.cell = pick(1, 2);
            f.currentTemp = pick(-500, 7000) / 10.0;
            f.bathTemp = pick(0, 7000) / 10.0;
            f.tempSetting = pick(-10, 700);
            f.milliVolts = pick(-50000, 500000) / 100.0;
            f.pressure = pick(0, 2000);
            stream += f.cell == 1 ? 'A' : 'B';
            stream += std::to_string(pick(0, 9));
            for (double v : {f.currentTemp, f.bathTemp, f.tempSetting, f.milliVolts, f.pressure}) {
                stream += ',';
                addNumber(v);
            }
            if (pick(0, 3) == 0) stream += ',';
            stream += SUB;
            if (afterSub) expected.push_back(f);
            afterSub = true;
            ++validRecords;
        } else if (kind < 99) {
            // Random bytes, heavy on the link's own characters.
            const int n = pick(0, 80);
            for (int i = 0; i < n; ++i) {
                const int k = pick(0, 9);
                stream += k == 0 ? SUB : k == 1 ? ',' : k == 2 ? 'A' : k == 3 ? 'B' : char(pick(0, 255));
            }
            afterSub = n == 0 ? afterSub : stream.back() == SUB;
        } else {
            // Now and then a long run without any SUB, past the cap.
            if (pick(0, 200) == 0) {
                stream.append(std::size_t(pick(60, 140)) * 1024, char(pick(32, 126)));
                afterSub = false;
            }
        }
        if (stream.size() > 256 * 1024) {
            feed(false);
            if (QTest::currentTestFailed()) return;
        }
    }
    feed(true);
    QVERIFY(records >= validRecords);
    QVERIFY(frames >= expected.size());
    QCOMPARE(matched, expected.size());
    QVERIFY(expected.size() > target / 2);
}

QTEST_GUILESS_MAIN(TestReplyRecord)
#include "tst_replyrecord.moc"
