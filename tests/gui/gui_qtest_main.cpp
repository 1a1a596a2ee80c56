// One QApplication for every window test. Under the X session fixture (XSESSION_DIR set) the
// tests run on that session's display.
#include <QApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const QByteArray session = qgetenv("XSESSION_DIR");
    if (!session.isEmpty()) {
        QFile display(QString::fromLocal8Bit(session) + "/display");
        if (!display.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "no X session in %s\n", session.constData());
            return 1;
        }
        qputenv("DISPLAY", ":" + display.readAll().trimmed());
        qputenv("QT_QPA_PLATFORM", "xcb");
        // The tray is the session's XEmbed one, not a desktop's D-Bus tray host.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    // Listing the tests (at build time) and plain runs need no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
