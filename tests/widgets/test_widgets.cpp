// SPDX-License-Identifier: MIT
// The pieces all three windows are built from: lists that take typed text, placement in
// twips, and the message box behind the hook.

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

#include "tests/support/widgettest.h"
#include "widgets/editablelist.h"
#include "widgets/messagebox.h"
#include "widgets/textlimit.h"
#include "widgets/windowlayout.h"

using namespace testsupport;

namespace {

const QStringList Formats{"8N1", "8N2", "8E1"};

}  // namespace

class TestUi : public QObject {
    Q_OBJECT
  private slots:
    void typing_data() {
        QTest::addColumn<ui::TypedMatch>("match");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("shown");
        const auto exact = ui::TypedMatch::ExactCase;
        const auto anyCase = ui::TypedMatch::AnyCase;
        QTest::newRow("no item's text") << exact << 0 << "4800" << -1 << "4800";
        QTest::newRow("an item's text selects it") << exact << -1 << "8E1" << 2 << "8E1";
        QTest::newRow("case matters") << exact << 1 << "8e1" << -1 << "8e1";
        QTest::newRow("past an item") << exact << -1 << "8N12" << -1 << "8N12";
        QTest::newRow("any case selects, shown as the item") << anyCase << 1 << "8e1" << 2 << "8E1";
        QTest::newRow("any case, no item's text") << anyCase << 2 << "8e" << -1 << "8e";
    }
    void typing() {
        QFETCH(ui::TypedMatch, match);
        QFETCH(int, start);
        QFETCH(QString, typed);
        QFETCH(int, position);
        QFETCH(QString, shown);
        QComboBox list;
        ui::makeEditableList(&list, QString(), match);
        ui::addListItems(&list, Formats);
        ui::setListPosition(&list, start);
        // Typed one key at a time: the cursor stays at the end as the selection changes.
        typeInto(&list, typed);
        QCOMPARE(list.lineEdit()->cursorPosition(), shown.size());
        QTest::keyClick(list.lineEdit(), Qt::Key_Return);
        QCOMPARE(list.currentIndex(), position);
        QCOMPARE(list.currentText(), shown);
        QCOMPARE(list.count(), Formats.size());  // typed text is never added
    }

    void typingInsideAnItem() {
        QComboBox list;
        ui::makeEditableList(&list, QString());
        ui::addListItems(&list, Formats);
        ui::setListPosition(&list, 0);
        // Leaving the selection must not move the cursor to the end under the user's hands.
        list.lineEdit()->setCursorPosition(1);
        QTest::keyClicks(list.lineEdit(), QStringLiteral("xy"));
        QCOMPARE(list.currentText(), QStringLiteral("8xyN1"));
        QCOMPARE(list.currentIndex(), -1);

        // Matching any case, the selected item's text never stands in another case.
        QComboBox anyCase;
        ui::makeEditableList(&anyCase, QString(), ui::TypedMatch::AnyCase);
        ui::addListItems(&anyCase, Formats);
        ui::setListPosition(&anyCase, 2);
        anyCase.lineEdit()->setSelection(1, 1);
        QTest::keyClick(anyCase.lineEdit(), Qt::Key_E);
        QCOMPARE(anyCase.currentText(), QStringLiteral("8E1"));
        QCOMPARE(anyCase.currentIndex(), 2);
        QCOMPARE(anyCase.lineEdit()->cursorPosition(), 2);
    }

    // Counted in characters, one for a character outside the Basic Multilingual Plane, and
    // cut at whole characters from the end of what was just typed or pasted.
    void characterLimit_data() {
        const QString smile = QStringLiteral("\U0001F600");
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("inserted");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cursorAfter");
        QTest::newRow("full") << "abcd" << 2 << "x"
                              << "abcd" << 2;
        QTest::newRow("paste cut") << "ad" << 1 << "b" + smile + "c"
                                   << "ab" + smile + "d" << 4;
        QTest::newRow("never half of one")
            << "a" << 1 << smile.repeated(5) << "a" + smile.repeated(3) << 7;
    }
    void characterLimit() {
        QFETCH(QString, start);
        QFETCH(int, cursor);
        QFETCH(QString, inserted);
        QFETCH(QString, text);
        QFETCH(int, cursorAfter);
        QLineEdit box;
        ui::limitCharacters(&box, 4);
        box.setText(start);
        box.setCursorPosition(cursor);
        box.insert(inserted);
        QCOMPARE(box.text(), text);
        QCOMPARE(box.cursorPosition(), cursorAfter);
    }

    void positions_data() {
        QTest::addColumn<QString>("start");  // typed first; empty for the first item
        QTest::addColumn<int>("p");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("shown");
        QTest::newRow("an item") << "" << 2 << 2 << "8E1";
        QTest::newRow("none clears the item's text") << "" << -1 << -1 << "";
        QTest::newRow("past the end") << "" << 3 << -1 << "";
        QTest::newRow("none keeps typed text") << "x" << -1 << -1 << "x";
    }
    void positions() {
        QFETCH(QString, start);
        QFETCH(int, p);
        QFETCH(int, position);
        QFETCH(QString, shown);
        QComboBox list;
        ui::makeEditableList(&list, QStringLiteral("Combo1"));
        ui::addListItems(&list, Formats);
        // Filling selects nothing and keeps the initial text.
        QCOMPARE(list.currentIndex(), -1);
        QCOMPARE(list.currentText(), QStringLiteral("Combo1"));
        ui::setListPosition(&list, 0);
        if (!start.isEmpty()) {
            typeInto(&list, start);
        }
        ui::setListPosition(&list, p);
        QCOMPARE(list.currentIndex(), position);
        QCOMPARE(list.currentText(), shown);
    }

    void placesInTwips() {
        QWidget window;
        QComboBox* list = ui::newList(&window, QStringLiteral("cboaddr"), {}, 1440, 360, 855);
        QCOMPARE(list->objectName(), QStringLiteral("cboaddr"));
        QCOMPARE(list->geometry(), QRect(96, 24, 57, 21));  // 15 twips to the pixel, 315 high
        auto* child = new QWidget(&window);
        ui::place(child, 7, 8, 22, 23);  // to the nearest pixel, halves up
        QCOMPARE(child->geometry(), QRect(0, 1, 1, 2));
    }

    void messageBox() {
        QMessageBox::Icon seen = QMessageBox::Critical;
        static QMessageBox::Icon* record = nullptr;
        record = &seen;
        ui::messageHook = [](QWidget*, const QString&, QMessageBox::Icon icon) { *record = icon; };
        ui::showMessage(nullptr, QString::fromLatin1(ui::CommPortError));
        ui::messageHook = &ui::showMessageBox;
        QCOMPARE(seen, QMessageBox::NoIcon);

        const std::unique_ptr<QMessageBox> box =
            ui::makeMessageBox(nullptr, QStringLiteral("text"), QMessageBox::Warning);
        QCOMPARE(box->windowTitle(), QStringLiteral("Tessaline"));
        QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box->icon(), QMessageBox::Warning);

        // The program's own hook waits for OK and returns once it is pressed.
        bool pressed = false;
        QTimer::singleShot(0, this, [&pressed] {
            auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (shown != nullptr && shown->text() == QLatin1String("COMM PORT ERROR!")) {
                shown->button(QMessageBox::Ok)->click();
                pressed = true;
            }
        });
        ui::showMessage(nullptr, QString::fromLatin1(ui::CommPortError));
        QVERIFY(pressed);
    }

    // Whatever a window still finishes after it was closed, it tells nobody.
    void closedWindowSaysNothing() {
        recordMessages();
        QWidget window;
        auto* child = new QWidget(&window);
        ui::showMessage(child, QStringLiteral("not shown yet"));
        window.show();
        ui::showMessage(child, QStringLiteral("shown"));
        window.close();
        ui::showMessage(child, QStringLiteral("closed"));
        ui::showMessage(&window, QStringLiteral("closed"));
        ui::showMessage(nullptr, QStringLiteral("no window"));
        ui::messageHook = &ui::showMessageBox;
        QCOMPARE(shownMessages(), (QStringList{"not shown yet", "shown", "no window"}));
    }
};

QTEST_MAIN(TestUi)
#include "test_widgets.moc"
