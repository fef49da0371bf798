// Tests of two dialogs as the user works them: "Set Shortcuts" (what the
// lines show, what "Save Changes" accepts or refuses, Cancel) and the Cross
// and F2L calculator (Compute in the chosen mode, Clipboard).
#include "Calculator.h"
#include "CrossCalculatorDialog.h"
#include "KeyBindings.h"
#include "ShortcutsDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// The bindable lines of the shortcuts dialog and the binding each edits.
struct BindingLine
{
    const char *edit;
    int32_t KeyBindings::*member;
};

const BindingLine kLines[] = {
    {"addMarkerEdit", &KeyBindings::AddMarker},
    {"addSolveEdit", &KeyBindings::AddSolve},
    {"frameBackEdit", &KeyBindings::FrameBack},
    {"framePrevEdit", &KeyBindings::FramePrev},
    {"frameNextEdit", &KeyBindings::FrameNext},
    {"frameForwardEdit", &KeyBindings::FrameForward},
    {"openMostRecentEdit", &KeyBindings::OpenMostRecent},
    {"fullscreenEdit", &KeyBindings::Fullscreen},
};

template<typename T>
T *child(QWidget &parent, const char *name)
{
    T *found = parent.findChild<T *>(QLatin1String(name));
    if (!found)
        qWarning("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

// Replaces the text of `edit` by typing, as the user would; characters
// beyond ASCII come as an input method would put them in.
void retype(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    for (const QChar c : text) {
        if (c.unicode() < 128)
            QTest::keyClick(edit, char(c.unicode()));
        else
            edit->insert(QString(c));
    }
}

// Closes the next message box that comes up, handing its text to `seen`.
void closeNextMessageBox(QString *seen)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        timer->stop();
        timer->deleteLater();
        *seen = box->text();
        box->accept();
    });
    timer->start();
}

} // namespace

class TestWindowDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // ---- ShortcutsDialog ----

    // Each line shows the character bound to its key, for the defaults and
    // for changed bindings alike.
    void shortcutsShowBindings()
    {
        const QString defaults = QStringLiteral("M+QADEOF");
        KeyBindings changed;
        const QString custom = QStringLiteral("W-ZXVBNJ");
        for (size_t i = 0; i < std::size(kLines); ++i)
            changed.*kLines[i].member = custom.at(qsizetype(i)).unicode();

        ShortcutsDialog standard{KeyBindings()};
        ShortcutsDialog rebound(changed);
        for (size_t i = 0; i < std::size(kLines); ++i) {
            QLineEdit *edit = child<QLineEdit>(standard, kLines[i].edit);
            QVERIFY(edit);
            QCOMPARE(edit->text(), QString(defaults.at(qsizetype(i))));
            QLineEdit *other = child<QLineEdit>(rebound, kLines[i].edit);
            QVERIFY(other);
            QCOMPARE(other->text(), QString(custom.at(qsizetype(i))));
        }
    }

    // What typed text each line accepts on "Save Changes".
    void shortcutsSave_data()
    {
        QTest::addColumn<int>("line");  // index into kLines
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("bound");

        QTest::newRow("w for Add Split Mark binds W (87)") << 0 << QStringLiteral("w") << 87;
        QTest::newRow("upper-case W alike") << 0 << QStringLiteral("W") << 87;
        QTest::newRow("- for Add Solve") << 1 << QStringLiteral("-") << 45;
        QTest::newRow("spaces around are ignored") << 2 << QStringLiteral(" z ") << 90;
        QTest::newRow("only the first character counts") << 3 << QStringLiteral("kl") << 75;
        QTest::newRow("emptied line keeps D") << 4 << QString() << 68;
        QTest::newRow("only spaces keeps E") << 5 << QStringLiteral("   ") << 69;
        QTest::newRow("a sign for Open Most Recent") << 6 << QStringLiteral(";") << 59;
        QTest::newRow("x for Full Screen") << 7 << QStringLiteral("x") << 88;
    }

    void shortcutsSave()
    {
        QFETCH(int, line);
        QFETCH(QString, typed);
        QFETCH(int, bound);
        ShortcutsDialog dialog{KeyBindings()};
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        retype(child<QLineEdit>(dialog, kLines[line].edit), typed);
        QTest::mouseClick(child<QPushButton>(dialog, "saveButton"), Qt::LeftButton);

        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY2(!dialog.isVisible(), "the dialog stays open after a valid save");
        KeyBindings expected;
        expected.*kLines[line].member = bound;
        QCOMPARE(dialog.bindings().*kLines[line].member, bound);
        QVERIFY2(dialog.bindings() == expected, "another binding changed as well");
    }

    // Keys the window always handles itself, and characters no key gives,
    // are refused with the reason; the dialog stays open and nothing changes.
    void shortcutsRefuse_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("label");   // the line's name in the message
        QTest::addColumn<QString>("reason");  // part of the reason in the message

        QTest::newRow("3 for Back 10 frames") << 2 << QStringLiteral("3") << QStringLiteral("Back 10 frames")
                                              << QStringLiteral("digit");
        QTest::newRow("0 for Add Split Mark") << 0 << QStringLiteral("0") << QStringLiteral("Add Split Mark")
                                              << QStringLiteral("digit");
        QTest::newRow("c for Forward 1 frame") << 4 << QStringLiteral("c") << QStringLiteral("Forward 1 frame")
                                               << QStringLiteral("copies");
        QTest::newRow("C for Full Screen") << 7 << QStringLiteral("C") << QStringLiteral("Full Screen")
                                           << QStringLiteral("copies");
        QTest::newRow("a letter no key gives") << 1 << QStringLiteral("é") << QStringLiteral("Add Solve")
                                               << QStringLiteral("plain keys");
    }

    void shortcutsRefuse()
    {
        QFETCH(int, line);
        QFETCH(QString, typed);
        QFETCH(QString, label);
        QFETCH(QString, reason);
        ShortcutsDialog dialog{KeyBindings()};
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // A valid change on another line must not be taken either.
        QLineEdit *other = child<QLineEdit>(dialog, kLines[line == 6 ? 7 : 6].edit);
        retype(other, QStringLiteral("y"));
        QLineEdit *edit = child<QLineEdit>(dialog, kLines[line].edit);
        retype(edit, typed);

        QString message;
        closeNextMessageBox(&message);
        QTest::mouseClick(child<QPushButton>(dialog, "saveButton"), Qt::LeftButton);
        QTRY_VERIFY2(!message.isEmpty(), "no warning came up");
        QVERIFY2(message.contains(typed.trimmed()), qPrintable(QStringLiteral("the warning does not name \"%1\": %2").arg(typed, message)));
        QVERIFY2(message.contains(label), qPrintable(QStringLiteral("the warning does not name the line: %1").arg(message)));
        QVERIFY2(message.contains(reason, Qt::CaseInsensitive),
                 qPrintable(QStringLiteral("the warning does not give the reason: %1").arg(message)));

        QVERIFY2(dialog.isVisible(), "the dialog closed after a refused binding");
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY2(dialog.bindings() == KeyBindings(), "a binding changed although the save was refused");
        // The refused line is ready to be typed over.
        QCOMPARE(edit->selectedText(), typed);
        QCOMPARE(dialog.focusWidget(), edit);

        // Corrected, the save goes through with both changes.
        retype(edit, QStringLiteral("k"));
        QTest::mouseClick(child<QPushButton>(dialog, "saveButton"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.bindings().*kLines[line].member, int('K'));
        QCOMPARE(dialog.bindings().*kLines[line == 6 ? 7 : 6].member, int('Y'));
    }

    void shortcutsCancel()
    {
        KeyBindings start;
        start.FrameNext = 'L';
        ShortcutsDialog dialog(start);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        retype(child<QLineEdit>(dialog, "addMarkerEdit"), QStringLiteral("w"));
        retype(child<QLineEdit>(dialog, "frameNextEdit"), QStringLiteral("p"));
        QTest::mouseClick(child<QPushButton>(dialog, "cancelButton"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QVERIFY2(dialog.bindings() == start, "Cancel changed the bindings");
    }

    // ---- CrossCalculatorDialog ----

    // Compute answers the pasted rows in the chosen mode.
    void calculatorCompute_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("expected");

        // Yellow starts down: x2 turns white down; y2 then x' brings blue down.
        QTest::newRow("cross colour") << 0 << QStringLiteral("x2\ny2\tx'") << QStringLiteral("White\nBlue");
        QTest::newRow("cross colour without rotation") << 0 << QStringLiteral("R U R' U'") << QStringLiteral("Yellow");
        QTest::newRow("move count") << 3 << QStringLiteral("R U R' U'\nF R U R' U' F' // OLL")
                                    << QStringLiteral("4\n6");
    }

    void calculatorCompute()
    {
        QFETCH(int, mode);
        QFETCH(QString, pasted);
        QFETCH(QString, expected);
        CrossCalculatorDialog dialog;
        auto *solves = child<QPlainTextEdit>(dialog, "solvesEdit");
        auto *combo = child<QComboBox>(dialog, "computeCombo");
        auto *output = child<QPlainTextEdit>(dialog, "output");
        QVERIFY(solves && combo && output);
        QCOMPARE(combo->count(), 4);
        solves->setPlainText(pasted);
        combo->setCurrentIndex(mode);
        QTest::mouseClick(child<QPushButton>(dialog, "computeButton"), Qt::LeftButton);
        QCOMPARE(output->toPlainText(), expected);
    }

    // Every mode of the box answers as the calculator does for the same rows.
    void calculatorModesMatch_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("Cross Color") << 0;
        QTest::newRow("f2l Pair Insert type") << 1;
        QTest::newRow("Last Layer") << 2;
        QTest::newRow("Move Count") << 3;
    }

    void calculatorModesMatch()
    {
        QFETCH(int, mode);
        const QString pasted = QStringLiteral("y x2\tU R U R' // 1st pair\nz\tF R F'\tU2 // AUF\n\"R U\nR' U'\"");
        CrossCalculatorDialog dialog;
        child<QPlainTextEdit>(dialog, "solvesEdit")->setPlainText(pasted);
        child<QComboBox>(dialog, "computeCombo")->setCurrentIndex(mode);
        dialog.compute();
        const QString expected = cube::calculatorOutput(pasted, cube::CalculatorMode(mode));
        QVERIFY2(!expected.isEmpty(), "the calculator gives nothing for the rows");
        QCOMPARE(child<QPlainTextEdit>(dialog, "output")->toPlainText(), expected);
    }

    // Clipboard computes first when there is no answer yet, and otherwise
    // copies the answer shown.
    void calculatorClipboard()
    {
        CrossCalculatorDialog dialog;
        auto *solves = child<QPlainTextEdit>(dialog, "solvesEdit");
        auto *output = child<QPlainTextEdit>(dialog, "output");
        auto *clipboardButton = child<QPushButton>(dialog, "clipboardButton");
        QVERIFY(solves && output && clipboardButton);
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->setText(QStringLiteral("before"));

        // The box opens on Move Count.
        auto *combo = child<QComboBox>(dialog, "computeCombo");
        QCOMPARE(combo->currentIndex(), 3);
        combo->setCurrentIndex(0);
        solves->setPlainText(QStringLiteral("x2\nz"));
        QTest::mouseClick(clipboardButton, Qt::LeftButton);
        QCOMPARE(output->toPlainText(), QStringLiteral("White\nRed"));
        QCOMPARE(clipboard->text(), QStringLiteral("White\nRed"));

        // The rows changed but the answer is still shown: that is what is copied.
        solves->setPlainText(QStringLiteral("x"));
        clipboard->setText(QStringLiteral("before"));
        dialog.copyToClipboard();
        QCOMPARE(clipboard->text(), QStringLiteral("White\nRed"));
        QCOMPARE(output->toPlainText(), QStringLiteral("White\nRed"));
    }
};

QTEST_MAIN(TestWindowDialogs)

#include "tst_windowdialogs.moc"
