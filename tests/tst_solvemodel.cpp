// Tests of the solve model: split marks, solves, write-back and undo/redo.
#include "SolveModel.h"

#include <QList>
#include <QTest>

namespace {

using List = QList<int>;
using Lists = QList<List>;

List toList(const Marks &marks) { return List(marks.begin(), marks.end()); }

Lists toLists(const std::vector<Marks> &solves)
{
    Lists lists;
    for (const Marks &m : solves)
        lists.append(toList(m));
    return lists;
}

// A model holding `solves` (the first one current) with no history and nothing unsaved.
std::vector<Marks> toSolves(const Lists &lists)
{
    std::vector<Marks> solves;
    for (const List &l : lists)
        solves.emplace_back(l.begin(), l.end());
    return solves;
}

void load(SolveModel &model, const Lists &solves)
{
    model.appendSolves(toSolves(solves));
    model.setSaved(true);
}

enum Op { Add, Remove, RemoveAll, Update, ClearSolve, Paste, AddSolve, RemoveSolve, Switch, Append };

void edit(const char *name, const List &before, Op op, const List &args, int result, const List &after, bool pushed,
          bool changed)
{
    QTest::newRow(name) << before << int(op) << args << result << after << pushed << changed;
}

void solveRow(const char *name, const Lists &loaded, int current, const List &marked, Op op, int arg,
              const Lists &appended, int result, const Lists &after, int currentAfter, int snapshots, bool saved)
{
    QTest::newRow(name) << loaded << current << marked << int(op) << arg << appended << result << after << currentAfter
                        << snapshots << saved;
}

} // namespace

class TestSolveModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each mark edit on the second of two solves: its result, the snapshot it
    // pushes, then one undo back to `before` and one redo forward again. After
    // every step the working marks are written back into the current solve.
    void editMarks_data()
    {
        QTest::addColumn<List>("before");
        QTest::addColumn<int>("op");
        QTest::addColumn<List>("args");
        QTest::addColumn<int>("result");  // addMark's index; 1/0 for true/false; -1 for none
        QTest::addColumn<List>("after");
        QTest::addColumn<bool>("pushed");
        QTest::addColumn<bool>("changed");

        edit("add first mark", {}, Add, {120}, 0, {120}, true, true);
        edit("add before all", {10, 20}, Add, {5}, 0, {5, 10, 20}, true, true);
        edit("add between", {10, 20}, Add, {15}, 1, {10, 15, 20}, true, true);
        edit("add after all", {10, 20}, Add, {25}, 2, {10, 20, 25}, true, true);
        edit("add duplicate: first equal", {10, 20, 30}, Add, {20}, 1, {10, 20, 20, 30}, true, true);
        edit("add third copy", {7, 7}, Add, {7}, 0, {7, 7, 7}, true, true);
        edit("remove first row", {10, 20, 30}, Remove, {0}, 1, {20, 30}, true, true);
        edit("remove last row", {10, 20, 30}, Remove, {2}, 1, {10, 20}, true, true);
        edit("remove one of two equal", {10, 10}, Remove, {1}, 1, {10}, true, true);
        // A snapshot is pushed whenever there are marks, even for an invalid row.
        edit("remove total row", {10, 20, 30}, Remove, {3}, 0, {10, 20, 30}, true, false);
        edit("remove, no row", {10, 20}, Remove, {-1}, 0, {10, 20}, true, false);
        edit("remove, no marks", {}, Remove, {0}, 0, {}, false, false);
        edit("clear all ignores row", {10, 20, 30}, RemoveAll, {-1}, 1, {}, true, true);
        edit("clear all, no marks", {}, RemoveAll, {0}, 0, {}, false, false);
        edit("update first past last", {10, 20, 30}, Update, {0, 40}, 1, {20, 30, 40}, true, true);
        edit("update last before first", {10, 20, 30}, Update, {2, 5}, 1, {5, 10, 20}, true, true);
        edit("update onto another mark", {10, 20, 30}, Update, {0, 30}, 1, {20, 30, 30}, true, true);
        edit("update in place", {10, 20, 30}, Update, {1, 21}, 1, {10, 21, 30}, true, true);
        edit("update total row", {10, 20, 30}, Update, {3, 99}, 0, {10, 20, 30}, false, false);
        edit("update, no row", {10, 20, 30}, Update, {-1, 99}, 0, {10, 20, 30}, false, false);
        edit("update, no marks", {}, Update, {0, 9}, 0, {}, false, false);
        edit("clear solve", {10, 20, 30}, ClearSolve, {}, -1, {}, true, true);
        edit("paste keeps order", {10, 20, 30}, Paste, {3, 2, 1}, 1, {3, 2, 1}, true, true);
        edit("empty paste", {10, 20, 30}, Paste, {}, 0, {10, 20, 30}, false, false);
    }

    void editMarks()
    {
        QFETCH(List, before);
        QFETCH(int, op);
        QFETCH(List, args);
        QFETCH(int, result);
        QFETCH(List, after);
        QFETCH(bool, pushed);
        QFETCH(bool, changed);

        SolveModel model;
        load(model, {{1}, before});
        QVERIFY(model.switchSolve(1));
        int returned = -1;
        switch (op) {
        case Add: returned = model.addMark(args.value(0)); break;
        case Remove: returned = model.removeMark(args.value(0), false); break;
        case RemoveAll: returned = model.removeMark(args.value(0), true); break;
        case Update: returned = model.updateMark(args.value(0), args.value(1)); break;
        case ClearSolve: model.clearCurrentSolve(); break;
        case Paste: returned = model.paste(Marks(args.begin(), args.end())); break;
        }
        QCOMPARE(returned, result);
        QCOMPARE(toList(model.marks()), after);
        QCOMPARE(toLists(model.solves()), (Lists{{1}, after}));
        QCOMPARE(model.saved(), !changed);
        QCOMPARE(int(model.undoStack().size()), int(pushed));
        if (pushed)
            QCOMPARE(toList(model.undoStack().back()), before);

        QCOMPARE(model.undo(), pushed);
        QCOMPARE(toList(model.marks()), before);
        QCOMPARE(toLists(model.solves()), (Lists{{1}, before}));
        QCOMPARE(model.redo(), pushed);
        QCOMPARE(toList(model.marks()), after);
        QCOMPARE(toLists(model.solves()), (Lists{{1}, after}));
        QCOMPARE(model.redo(), false);
    }

    // Undo and redo walk the history and always count as a change; a new
    // change forgets what could be redone.
    void historyEdges()
    {
        SolveModel model;
        load(model, {{4, 8}});
        QCOMPARE(model.undo(), false);
        QCOMPARE(model.saved(), false);
        model.setSaved(true);
        QCOMPARE(model.redo(), false);
        QCOMPARE(model.saved(), false);

        model.addMark(6);
        model.addMark(2);
        QVERIFY(model.undo());
        QVERIFY(model.undo());
        QCOMPARE(toList(model.marks()), (List{4, 8}));
        QCOMPARE(int(model.redoStack().size()), 2);
        QVERIFY(model.redo());
        QCOMPARE(toList(model.marks()), (List{4, 6, 8}));
        model.addMark(9);
        QVERIFY(model.redoStack().empty());
        QCOMPARE(model.redo(), false);
        QCOMPARE(toLists(model.solves()), (Lists{{4, 6, 8, 9}}));
    }

    // Operations on the solve list, from a model holding `loaded` with solve
    // `current` shown, `marked` added to it and one more snapshot pushed.
    void solveOps_data()
    {
        QTest::addColumn<Lists>("loaded");
        QTest::addColumn<int>("current");
        QTest::addColumn<List>("marked");
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("arg");
        QTest::addColumn<Lists>("appended");
        QTest::addColumn<int>("result");  // solve count after addSolve; 1/0 for true/false; -1 for none
        QTest::addColumn<Lists>("after");
        QTest::addColumn<int>("currentAfter");
        QTest::addColumn<int>("snapshots");
        QTest::addColumn<bool>("saved");

        const Lists three{{1, 2}, {3}, {}};
        const Lists threeMarked{{1, 2, 9}, {3}, {}};
        // The working marks, placed before any solve existed, become the first solve.
        solveRow("add: nothing yet", {}, 0, {}, AddSolve, 0, {}, 2, {{}, {}}, 1, 0, false);
        solveRow("add: marks before any solve", {}, 0, {200, 100}, AddSolve, 0, {}, 2, {{100, 200}, {}}, 1, 0, false);
        solveRow("add: third solve", {{1}, {2}}, 0, {3}, AddSolve, 0, {}, 3, {{1, 3}, {2}, {}}, 2, 0, false);
        solveRow("remove: no solves", {}, 0, {}, RemoveSolve, 0, {}, 0, {}, 0, 1, true);
        solveRow("remove: last remaining", {{5}}, 0, {}, RemoveSolve, 0, {}, 0, {{5}}, 0, 1, true);
        solveRow("remove: first of three", {{1}, {2}, {3}}, 0, {}, RemoveSolve, 0, {}, 1, {{2}, {3}}, 0, 0, false);
        solveRow("remove: second of three", {{1}, {}, {3}}, 1, {}, RemoveSolve, 1, {}, 1, {{1}, {3}}, 1, 0, false);
        solveRow("remove: last of three", {{1}, {2}, {3}}, 2, {}, RemoveSolve, 1, {}, 1, {{1}, {2}}, 1, 0, false);
        // The working copy of the solve left behind is stored.
        solveRow("switch: same solve", three, 0, {9}, Switch, 0, {}, 0, threeMarked, 0, 2, true);
        solveRow("switch: negative", three, 0, {9}, Switch, -1, {}, 0, threeMarked, 0, 2, true);
        solveRow("switch: past the end", three, 0, {9}, Switch, 3, {}, 0, threeMarked, 0, 2, true);
        solveRow("switch: second", three, 0, {9}, Switch, 1, {}, 1, threeMarked, 1, 0, true);
        solveRow("switch: empty third", three, 0, {9}, Switch, 2, {}, 1, threeMarked, 2, 0, true);
        // The history survives only while the first solve stays current.
        solveRow("append: into empty model", {}, 0, {}, Append, 0, {{1, 2}, {3}}, -1, {{1, 2}, {3}}, 0, 1, true);
        solveRow("append: nothing", {}, 0, {}, Append, 0, {}, -1, {}, 0, 1, true);
        solveRow("append: first solve stays current", {{1}}, 0, {5}, Append, 0, {{7}, {8}}, -1, {{1, 5}, {7}, {8}}, 0,
                 2, true);
        solveRow("append: second solve was current", {{1}, {2}}, 1, {5}, Append, 0, {{9}}, -1, {{1}, {2, 5}, {9}}, 0,
                 0, true);
    }

    void solveOps()
    {
        QFETCH(Lists, loaded);
        QFETCH(int, current);
        QFETCH(List, marked);
        QFETCH(int, op);
        QFETCH(int, arg);
        QFETCH(Lists, appended);
        QFETCH(int, result);
        QFETCH(Lists, after);
        QFETCH(int, currentAfter);
        QFETCH(int, snapshots);
        QFETCH(bool, saved);

        SolveModel model;
        load(model, loaded);
        if (current != 0)
            QVERIFY(model.switchSolve(current));
        for (int f : marked)
            model.addMark(f);
        model.pushUndo();
        model.setSaved(true);
        QCOMPARE(model.currentStoredSolveHasMarks(), !toList(model.marks()).isEmpty());

        int returned = -1;
        switch (op) {
        case AddSolve: returned = model.addSolve(); break;
        case RemoveSolve: returned = model.removeCurrentSolve(arg); break;
        case Switch: returned = model.switchSolve(arg); break;
        case Append: model.appendSolves(toSolves(appended)); break;
        }
        QCOMPARE(returned, result);
        QCOMPARE(toLists(model.solves()), after);
        QCOMPARE(model.currentSolve(), currentAfter);
        QCOMPARE(toList(model.marks()), after.value(currentAfter));
        QCOMPARE(model.currentStoredSolveHasMarks(), !after.value(currentAfter).isEmpty());
        QCOMPARE(int(model.undoStack().size()), snapshots);
        QCOMPARE(model.saved(), saved);
        if (snapshots == 0)
            QVERIFY(model.redoStack().empty());
    }

    void clearAllAndReset()
    {
        SolveModel model;
        load(model, {{1}, {2, 3}});
        QVERIFY(model.switchSolve(1));
        model.addMark(4);
        model.clearAll();
        QVERIFY(model.solves().empty() && model.marks().empty() && model.undoStack().empty());
        QCOMPARE(model.currentSolve(), 0);
        QCOMPARE(model.saved(), false);
        // The first mark after clearing everything starts solve 1 again.
        model.addMark(50);
        QCOMPARE(toLists(model.solves()), (Lists{{50}}));

        load(model, {{7}});
        QVERIFY(model.switchSolve(1));
        model.addMark(8);
        model.reset();
        QVERIFY(model.solves().empty() && model.marks().empty() && model.undoStack().empty());
        QCOMPARE(model.currentSolve(), 0);
    }

};

QTEST_APPLESS_MAIN(TestSolveModel)
#include "tst_solvemodel.moc"
