// SPDX-License-Identifier: MIT
// The rules that read list positions and line settings back from modlcd.ini.

#include <QTest>

#include "core/storedvalue.h"

class TestStoredValue : public QObject {
    Q_OBJECT
  private slots:
    void storedPosition_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("offset");  // 1 for keys saved as position + 1
        QTest::addColumn<int>("position");
        QTest::newRow("no selection") << "-1" << 0 << -1;
        QTest::newRow("no selection, + 1") << "0" << 1 << -1;
        QTest::newRow("half to even down") << "2.5" << 0 << 2;
        QTest::newRow("offset first") << "3.5" << 1 << 2;
        QTest::newRow("missing") << "" << 1 << 0;
        QTest::newRow("not a number") << "abc" << 0 << 0;
        QTest::newRow("past the list") << "20" << 0 << 0;
    }
    void storedPosition() {
        QFETCH(QString, stored);
        QFETCH(int, offset);
        QFETCH(int, position);
        QCOMPARE(storedvalue::position(stored, offset, 20), position);
    }

    void storedCset_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("format");
        QTest::newRow("19200,e,8,1") << "19200,e,8,1" << 1 << 2;
        QTest::newRow("19200 alone") << "19200" << 1 << -1;
        QTest::newRow("9600 alone") << "9600" << -1 << -1;
        QTest::newRow("typed 115200") << "115200,n,8,1" << -1 << 0;
        QTest::newRow("case matters") << "9600,N,8,1" << 0 << -1;
        QTest::newRow("missing: nothing chosen") << "" << -1 << -1;
    }
    void storedCset() {
        QFETCH(QString, stored);
        QFETCH(int, baud);
        QFETCH(int, format);
        const storedvalue::LineSettings got = storedvalue::lineSettings(stored);
        QCOMPARE(got.baud, baud);
        QCOMPARE(got.format, format);
    }
};

QTEST_GUILESS_MAIN(TestStoredValue)
#include "test_storedvalue.moc"
