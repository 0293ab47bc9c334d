// The runtime folder that scripts/run and scripts/test give Qt when the session has none: private (mode
// 0700, the user's own), reused or repaired when it is there, replaced when its name is taken by a link, and
// accepted by Qt without the "XDG_RUNTIME_DIR not set" warning.
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kSnippet =
    QFileInfo(QStringLiteral(VEDUVOVIR_SCHEMA)).dir().absoluteFilePath(QStringLiteral("../scripts/runtime-env"));

// Sources the snippet in bash with TMPDIR = tmp and XDG_RUNTIME_DIR = preset (unset when empty); returns the
// folder it leaves in XDG_RUNTIME_DIR.
QString runSnippet(const QString& tmp, const QString& preset)
{
    QProcess bash;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("XDG_RUNTIME_DIR");
    if (!preset.isEmpty()) env.insert("XDG_RUNTIME_DIR", preset);
    env.insert("TMPDIR", tmp);
    bash.setProcessEnvironment(env);
    bash.start("bash", {"-c", "set -euo pipefail; . \"$1\"; printf %s \"$XDG_RUNTIME_DIR\"", "bash", kSnippet});
    if (!bash.waitForFinished(10000) || bash.exitCode() != 0) return {};
    return QString::fromLocal8Bit(bash.readAllStandardOutput());
}

int modeOf(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return int(st.st_mode & 07777);
}

QStringList g_warnings;
void collect(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg) g_warnings << text;
}

} // namespace

class TestRuntimeEnv : public QObject {
    Q_OBJECT
private slots:
    void privateRuntimeFolder_data();
    void privateRuntimeFolder();
};

void TestRuntimeEnv::privateRuntimeFolder_data()
{
    QTest::addColumn<QString>("before");   // what stands at the name beforehand
    QTest::addColumn<bool>("sameName");    // the folder used is $TMPDIR/veduvovir-runtime-<uid>
    QTest::newRow("nothing yet") << "" << true;
    QTest::newRow("own folder, mode 0755") << "folder-0755" << true;
    QTest::newRow("a link planted at the name") << "link" << false;
    QTest::newRow("already set by the session") << "preset" << false;
}

void TestRuntimeEnv::privateRuntimeFolder()
{
    QFETCH(QString, before);
    QFETCH(bool, sameName);
    QVERIFY(QFile::exists(kSnippet));
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString name = QDir(tmp.path()).filePath(QStringLiteral("veduvovir-runtime-%1").arg(::getuid()));
    QString preset;
    if (before == "folder-0755") {
        QVERIFY(QDir().mkdir(name));
        QVERIFY(::chmod(QFile::encodeName(name).constData(), 0755) == 0);
    } else if (before == "link") {
        QVERIFY(QDir().mkdir(QDir(tmp.path()).filePath("elsewhere")));
        QVERIFY(QFile::link(QDir(tmp.path()).filePath("elsewhere"), name));
    } else if (before == "preset") {
        preset = QDir(tmp.path()).filePath("session-runtime");
        QVERIFY(QDir().mkdir(preset));
        QVERIFY(::chmod(QFile::encodeName(preset).constData(), 0700) == 0);
    }

    const QString folder = runSnippet(tmp.path(), preset);
    QVERIFY(!folder.isEmpty());
    if (before == "preset") {
        QCOMPARE(folder, preset);   // left alone
        return;
    }
    QCOMPARE(folder == name, sameName);
    QVERIFY(folder.startsWith(tmp.path() + "/veduvovir-runtime-"));
    QFileInfo info(folder);
    QVERIFY(info.isDir() && !info.isSymLink());
    QCOMPARE(info.ownerId(), uint(::getuid()));
    QCOMPARE(modeOf(folder), 0700);

    // Qt takes it without a word.
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    const QString location = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    qInstallMessageHandler(previous);
    if (saved.isNull()) qunsetenv("XDG_RUNTIME_DIR");
    else qputenv("XDG_RUNTIME_DIR", saved);
    QCOMPARE(location, folder);
    QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join('\n')));
}

QTEST_GUILESS_MAIN(TestRuntimeEnv)
#include "tst_runtimeenv.moc"
