// SPDX-License-Identifier: MIT
#include <QTest>

#include <array>

#include "app/config/calcchecksum.h"
#include "app/modVar.h"
#include "core/checksum.h"

class TestChecksum : public QObject {
    Q_OBJECT
  private slots:
    void workedExample() {
        const std::array<std::uint8_t, 4> image{16, 240, 5, 99};
        CalcChecksum(image, 2);
        QCOMPARE(ChkSum, 5);
        QCOMPARE(ChkComp, 251);
    }
    void edges() {
        const std::array<std::uint8_t, 3> image{128, 128, 7};
        CalcChecksum(image, -1);
        QCOMPARE(ChkSum, 0);
        QCOMPARE(ChkComp, 256);
        CalcChecksum(image, 0);
        QCOMPARE(ChkSum, 128);
        QCOMPARE(ChkComp, 128);
        CalcChecksum(image, 1);  // multiple of 256
        QCOMPARE(ChkSum, 0);
        QCOMPARE(ChkComp, 256);
        QCOMPARE(checksum::complementByte(checksum::of(image, 1)), 0);
        const std::array<std::uint8_t, 2> ff{200, 55};
        QCOMPARE(checksum::of(ff, 1).complement, 1);
        QCOMPARE(checksum::of(ff, 50).sum, 255);  // clamped to the image
    }
};

QTEST_GUILESS_MAIN(TestChecksum)
#include "test_checksum.moc"
