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
#include "widgets/windowlayout.h"

namespace {

const QStringList Formats{"8N1", "8N2", "8E1"};

}  // namespace

class TestUi : public QObject {
    Q_OBJECT
  private slots:
    void typing_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no item's text") << 0 << "4800" << -1 << "4800";
        QTest::newRow("an item's text selects it") << -1 << "8E1" << 2 << "8E1";
        QTest::newRow("case matters") << 1 << "8e1" << -1 << "8e1";
        QTest::newRow("past an item") << -1 << "8N12" << -1 << "8N12";
    }
    void typing() {
        QFETCH(int, start);
        QFETCH(QString, typed);
        QFETCH(int, position);
        QFETCH(QString, shown);
        QWidget parent;
        QComboBox* list = ui::newList(&parent, QStringLiteral("cboDF"), Formats, 0, 0, 855);
        ui::setListPosition(list, start);
        // Typed one key at a time: the cursor stays at the end as the selection changes.
        typeInto(list, typed);
        QTest::keyClick(list->lineEdit(), Qt::Key_Return);
        QCOMPARE(list->currentIndex(), position);
        QCOMPARE(list->currentText(), shown);
        QCOMPARE(list->count(), Formats.size());  // typed text is never added
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
};

QTEST_MAIN(TestUi)
#include "test_ui.moc"
