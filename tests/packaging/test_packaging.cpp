// SPDX-License-Identifier: MIT
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "app/resources/appicon.h"

class TestPackaging : public QObject {
    Q_OBJECT

    QTemporaryDir prefix_;

    QString installed(const QString& relative) const { return prefix_.filePath(relative); }

  private slots:
    void initTestCase() {
        QVERIFY(prefix_.isValid());
        QProcess install;
        install.start(QStringLiteral(TESSALINE_CMAKE),
                      {QStringLiteral("--install"), QStringLiteral(TESSALINE_BUILD_DIR),
                       QStringLiteral("--prefix"), prefix_.path()});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
    }

    // Every window shows the icon compiled into the program, in the sizes a title bar and
    // a task switcher ask for, and drawn, not an empty square.
    void windowIconIsCompiledIn() {
        const QIcon icon = resources::appIcon();
        QVERIFY(!icon.isNull());
        for (const int size : {16, 32, 48}) {
            QVERIFY2(icon.availableSizes().contains(QSize(size, size)),
                     qPrintable(QString::number(size)));
            const QImage image = icon.pixmap(size).toImage();
            QCOMPARE(image.size(), QSize(size, size));
            QVERIFY(qAlpha(image.pixel(size / 2, size / 2)) == 255);
        }
    }

    void programsAreInstalled_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("program") << QStringLiteral("bin/tessaline");
        QTest::newRow("command line") << QStringLiteral("bin/tessaline-cli");
        if (TESSALINE_HAS_SIM) {
            QTest::newRow("virtual module") << QStringLiteral("bin/korvo-sim");
        }
    }
    void programsAreInstalled() {
        QFETCH(QString, path);
        const QFileInfo info(installed(path));
        QVERIFY2(info.isFile() && info.isExecutable(), qPrintable(info.filePath()));
    }

    void iconsAreInstalled_data() {
        QTest::addColumn<int>("size");
        for (const int size : {16, 32, 48, 64, 128, 256}) {
            QTest::newRow(qPrintable(QStringLiteral("%1px").arg(size))) << size;
        }
    }
    // A theme icon of the wrong size under a size folder is shown blurred or not at all.
    void iconsAreInstalled() {
        QFETCH(int, size);
        const QImage image(
            installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/tessaline.png").arg(size)));
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY(QFileInfo::exists(installed("share/icons/hicolor/scalable/apps/tessaline.svg")));
    }

    // The menu entry starts the installed program and finds the installed icon.
    void desktopEntryPointsAtWhatIsInstalled() {
        const QString path = installed(QStringLiteral("share/applications/tessaline.desktop"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(file.readLine().trimmed(), QByteArray("[Desktop Entry]"));

        const QSettings entry(path, QSettings::IniFormat);
        const auto value = [&](const char* key) {
            return entry.value(QStringLiteral("Desktop Entry/%1").arg(QLatin1String(key)))
                .toString();
        };
        QCOMPARE(value("Type"), QStringLiteral("Application"));
        QVERIFY(!value("Name").isEmpty());
        const QString program = value("Exec").section(u' ', 0, 0);
        QVERIFY2(QFileInfo(installed(QStringLiteral("bin/") + program)).isExecutable(),
                 qPrintable(program));
        const QString icon = value("Icon");
        QVERIFY2(QFileInfo::exists(
                     installed(QStringLiteral("share/icons/hicolor/32x32/apps/%1.png").arg(icon))),
                 qPrintable(icon));
    }
};

QTEST_MAIN(TestPackaging)
#include "test_packaging.moc"
