// The relvane program without a display: it runs on the offscreen platform,
// writes every log line to standard output as it happens, and ends cleanly
// on SIGINT and SIGTERM, as when its window is closed.

#include <QProcess>
#include <QTest>

#include <csignal>
#include <memory>

#include "WorkingDirectory.h"
#include "relay/Un_Proxy.h"

using relvane::TFrm_Relvane;
using relvane::testing::TemporaryWorkingDirectory;

class RelvaneProgramTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void HeadlessProgramLogsToStandardOutputAndEndsOnSignal_data();
    void HeadlessProgramLogsToStandardOutputAndEndsOnSignal();

private:
    std::unique_ptr<TemporaryWorkingDirectory> Directory;
};

void RelvaneProgramTest::init() {
    Directory = std::make_unique<TemporaryWorkingDirectory>();
    QVERIFY(Directory->IsValid());
}

void RelvaneProgramTest::cleanup() { Directory.reset(); }

void RelvaneProgramTest::HeadlessProgramLogsToStandardOutputAndEndsOnSignal_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
}

void RelvaneProgramTest::HeadlessProgramLogsToStandardOutputAndEndsOnSignal() {
    QFETCH(int, signalNumber);
    QVERIFY(Directory->WriteFile("relvane.ini", "[Proxy]\nLocalPort=0\nIPX=0\n"));

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The program must choose the offscreen platform by itself.
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(Directory->Path());
    program.start(RELVANE_PROGRAM, {});
    QVERIFY(program.waitForStarted(10000));

    // Both lines come while the program runs, before any signal.
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += program.readAllStandardOutput()).count('\n') >= 2, 10000);
    const QList<QByteArray> lines = output.split('\n');
    QCOMPARE(lines[0], QByteArray(TFrm_Relvane::Banner));
    QVERIFY2(lines[1].startsWith("TCP/IP initialized  : "), lines[1].constData());
    QCOMPARE(program.state(), QProcess::Running);

    QCOMPARE(::kill(pid_t(program.processId()), signalNumber), 0);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    output += program.readAllStandardOutput();
    QCOMPARE(output.count('\n'), 2);  // nothing else was logged
}

QTEST_MAIN(RelvaneProgramTest)
#include "RelvaneProgramTest.moc"
