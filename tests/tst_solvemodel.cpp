// Tests of the solve model: split marks, solves, write-back and undo/redo.
#include "SolveModel.h"

#include <QList>
#include <QTest>

#include <algorithm>

namespace {

using List = QList<int>;
using Lists = QList<List>;

List toList(const Marks &marks)
{
    return List(marks.begin(), marks.end());
}

Lists toLists(const std::vector<Marks> &solves)
{
    Lists lists;
    for (const Marks &m : solves)
        lists.append(toList(m));
    return lists;
}

// A model holding `solves` (the first one current) with no history and nothing unsaved.
void load(SolveModel &model, const std::vector<Marks> &solves)
{
    model.appendSolves(solves);
    model.setSaved(true);
}

Marks toMarks(const List &list)
{
    return Marks(list.begin(), list.end());
}

std::vector<Marks> toSolves(const Lists &lists)
{
    std::vector<Marks> solves;
    for (const List &l : lists)
        solves.push_back(toMarks(l));
    return solves;
}

} // namespace

// Returns from the calling test function on failure.
#define CHECK_WRITE_BACK(model)                                                         \
    do {                                                                                \
        QVERIFY(size_t((model).currentSolve()) < (model).solves().size());              \
        QCOMPARE(toList((model).solves()[size_t((model).currentSolve())]),              \
                 toList((model).marks()));                                              \
    } while (0)

class TestSolveModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addMark_data();
    void addMark();
    void removeMark_data();
    void removeMark();
    void updateMark_data();
    void updateMark();
    void undoThenRedo_data();
    void undoThenRedo();
    void historyEdges();
    void addSolve_data();
    void addSolve();
    void removeCurrentSolve_data();
    void removeCurrentSolve();
    void switchSolve_data();
    void switchSolve();
    void clearAllAndReset();
    void appendSolves_data();
    void appendSolves();
};

void TestSolveModel::addMark_data()
{
    QTest::addColumn<List>("before");
    QTest::addColumn<int>("frame");
    QTest::addColumn<List>("after");
    QTest::addColumn<int>("index");

    QTest::newRow("first mark") << List{} << 120 << List{120} << 0;
    QTest::newRow("before all") << List{10, 20} << 5 << List{5, 10, 20} << 0;
    QTest::newRow("between") << List{10, 20} << 15 << List{10, 15, 20} << 1;
    QTest::newRow("after all") << List{10, 20} << 25 << List{10, 20, 25} << 2;
    QTest::newRow("duplicate gives first equal") << List{10, 20, 30} << 20 << List{10, 20, 20, 30} << 1;
    QTest::newRow("third copy") << List{7, 7} << 7 << List{7, 7, 7} << 0;
}

void TestSolveModel::addMark()
{
    QFETCH(List, before);
    QFETCH(int, frame);
    QFETCH(List, after);
    QFETCH(int, index);

    SolveModel model;
    for (int f : before)
        model.addMark(f);
    model.setSaved(true);

    QCOMPARE(model.addMark(frame), index);
    QCOMPARE(toList(model.marks()), after);
    QCOMPARE(model.saved(), false);
    QCOMPARE(int(model.undoStack().size()), int(before.size()) + 1);
    QCOMPARE(toList(model.undoStack().back()), before);
    CHECK_WRITE_BACK(model);
}

void TestSolveModel::removeMark_data()
{
    QTest::addColumn<List>("before");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("clearAll");
    QTest::addColumn<bool>("removed");
    QTest::addColumn<List>("after");
    QTest::addColumn<int>("snapshots");

    QTest::newRow("first row") << List{10, 20, 30} << 0 << false << true << List{20, 30} << 1;
    QTest::newRow("last row") << List{10, 20, 30} << 2 << false << true << List{10, 20} << 1;
    QTest::newRow("one of two equal") << List{10, 10} << 1 << false << true << List{10} << 1;
    QTest::newRow("total row") << List{10, 20, 30} << 3 << false << false << List{10, 20, 30} << 1;
    QTest::newRow("no row selected") << List{10, 20} << -1 << false << false << List{10, 20} << 1;
    QTest::newRow("clear all ignores row") << List{10, 20, 30} << -1 << true << true << List{} << 1;
    QTest::newRow("no marks") << List{} << 0 << false << false << List{} << 0;
    QTest::newRow("clear all without marks") << List{} << 0 << true << false << List{} << 0;
}

void TestSolveModel::removeMark()
{
    QFETCH(List, before);
    QFETCH(int, row);
    QFETCH(bool, clearAll);
    QFETCH(bool, removed);
    QFETCH(List, after);
    QFETCH(int, snapshots);

    SolveModel model;
    load(model, {toMarks(before)});

    QCOMPARE(model.removeMark(row, clearAll), removed);
    QCOMPARE(toList(model.marks()), after);
    QCOMPARE(int(model.undoStack().size()), snapshots);
    // Only an actual removal counts as a change.
    QCOMPARE(model.saved(), !removed);
    CHECK_WRITE_BACK(model);

    // One undo brings back every mark, also after an invalid row.
    QCOMPARE(model.undo(), snapshots > 0);
    QCOMPARE(toList(model.marks()), before);
    CHECK_WRITE_BACK(model);
}

void TestSolveModel::updateMark_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("frame");
    QTest::addColumn<bool>("updated");
    QTest::addColumn<List>("after");

    QTest::newRow("first past last") << 0 << 40 << true << List{20, 30, 40};
    QTest::newRow("last before first") << 2 << 5 << true << List{5, 10, 20};
    QTest::newRow("onto another mark") << 0 << 30 << true << List{20, 30, 30};
    QTest::newRow("in place") << 1 << 21 << true << List{10, 21, 30};
    QTest::newRow("total row") << 3 << 99 << false << List{10, 20, 30};
    QTest::newRow("no row selected") << -1 << 99 << false << List{10, 20, 30};
}

void TestSolveModel::updateMark()
{
    QFETCH(int, row);
    QFETCH(int, frame);
    QFETCH(bool, updated);
    QFETCH(List, after);

    SolveModel model;
    load(model, {{10, 20, 30}});

    QCOMPARE(model.updateMark(row, frame), updated);
    QCOMPARE(toList(model.marks()), after);
    QCOMPARE(int(model.undoStack().size()), updated ? 1 : 0);
    QCOMPARE(model.saved(), !updated);
    CHECK_WRITE_BACK(model);

    SolveModel empty;
    QCOMPARE(empty.updateMark(0, frame), false);
    QVERIFY(empty.undoStack().empty());
}

// Every operation that pushes a snapshot can be undone and redone exactly.
void TestSolveModel::undoThenRedo_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<List>("changed");

    QTest::newRow("add mark") << 0 << List{10, 15, 20, 30};
    QTest::newRow("remove mark") << 1 << List{10, 30};
    QTest::newRow("update mark") << 2 << List{20, 30, 35};
    QTest::newRow("clear solve") << 3 << List{};
    QTest::newRow("paste") << 4 << List{3, 2, 1};
}

void TestSolveModel::undoThenRedo()
{
    QFETCH(int, operation);
    QFETCH(List, changed);

    SolveModel model;
    load(model, {{1}, {10, 20, 30}});
    QVERIFY(model.switchSolve(1));

    switch (operation) {
    case 0: model.addMark(15); break;
    case 1: model.removeMark(1, false); break;
    case 2: model.updateMark(0, 35); break;
    case 3: model.clearCurrentSolve(); break;
    case 4: model.paste({3, 2, 1}); break;
    }
    QCOMPARE(toList(model.marks()), changed);
    CHECK_WRITE_BACK(model);

    QVERIFY(model.undo());
    QCOMPARE(toList(model.marks()), (List{10, 20, 30}));
    QCOMPARE(toLists(model.solves()), (Lists{{1}, {10, 20, 30}}));
    QVERIFY(model.redo());
    QCOMPARE(toList(model.marks()), changed);
    QCOMPARE(toLists(model.solves()), (Lists{{1}, changed}));
    QCOMPARE(model.redo(), false);
}

// Undo and redo walk the history; a new change forgets what could be redone;
// empty stacks and an empty paste change no mark.
void TestSolveModel::historyEdges()
{
    SolveModel model;
    load(model, {{4, 8}});
    QCOMPARE(model.undo(), false);
    QCOMPARE(model.saved(), false);  // even with nothing to undo
    model.setSaved(true);
    QCOMPARE(model.redo(), false);
    QCOMPARE(model.saved(), false);
    model.setSaved(true);
    QCOMPARE(model.paste({}), false);
    QCOMPARE(model.saved(), true);
    QVERIFY(model.undoStack().empty());
    QCOMPARE(toLists(model.solves()), (Lists{{4, 8}}));

    model.addMark(6);
    model.addMark(2);
    QVERIFY(model.undo());
    QVERIFY(model.undo());
    QCOMPARE(toList(model.marks()), (List{4, 8}));
    QVERIFY(model.redo());
    QCOMPARE(toList(model.marks()), (List{4, 6, 8}));
    model.addMark(9);
    QVERIFY(model.redoStack().empty());
    QCOMPARE(model.redo(), false);
    QCOMPARE(toList(model.marks()), (List{4, 6, 8, 9}));
    CHECK_WRITE_BACK(model);
}

void TestSolveModel::addSolve_data()
{
    QTest::addColumn<Lists>("loaded");
    QTest::addColumn<List>("marked");  // marks added to the current solve first
    QTest::addColumn<Lists>("after");

    QTest::newRow("nothing yet") << Lists{} << List{} << Lists{{}, {}};
    QTest::newRow("marks before any solve") << Lists{} << List{200, 100} << Lists{{100, 200}, {}};
    QTest::newRow("third solve") << Lists{{1}, {2}} << List{3} << Lists{{1, 3}, {2}, {}};
}

void TestSolveModel::addSolve()
{
    QFETCH(Lists, loaded);
    QFETCH(List, marked);
    QFETCH(Lists, after);

    SolveModel model;
    load(model, toSolves(loaded));
    for (int f : marked)
        model.addMark(f);
    model.setSaved(true);

    QCOMPARE(model.addSolve(), int(after.size()));
    QCOMPARE(toLists(model.solves()), after);
    QCOMPARE(model.currentSolve(), int(after.size()) - 1);
    QVERIFY(model.marks().empty());
    QCOMPARE(model.saved(), false);
    QVERIFY(model.undoStack().empty());
    QVERIFY(model.redoStack().empty());
    QCOMPARE(model.currentStoredSolveHasMarks(), false);

    // The history was emptied: undo has nothing to take back.
    QCOMPARE(model.undo(), false);
    QCOMPARE(toLists(model.solves()), after);
}

void TestSolveModel::removeCurrentSolve_data()
{
    QTest::addColumn<Lists>("loaded");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("next");
    QTest::addColumn<bool>("removed");
    QTest::addColumn<Lists>("after");
    QTest::addColumn<bool>("storedHasMarks");  // before the removal

    QTest::newRow("no solves") << Lists{} << 0 << 0 << false << Lists{} << false;
    QTest::newRow("last remaining") << Lists{{5}} << 0 << 0 << false << Lists{{5}} << true;
    QTest::newRow("first of three") << Lists{{1}, {2}, {3}} << 0 << 0 << true << Lists{{2}, {3}} << true;
    QTest::newRow("second of three") << Lists{{1}, {}, {3}} << 1 << 1 << true << Lists{{1}, {3}} << false;
    QTest::newRow("last of three") << Lists{{1}, {2}, {3}} << 2 << 1 << true << Lists{{1}, {2}} << true;
}

void TestSolveModel::removeCurrentSolve()
{
    QFETCH(Lists, loaded);
    QFETCH(int, current);
    QFETCH(int, next);
    QFETCH(bool, removed);
    QFETCH(Lists, after);
    QFETCH(bool, storedHasMarks);

    SolveModel model;
    load(model, toSolves(loaded));
    if (current != 0)
        QVERIFY(model.switchSolve(current));
    model.pushUndo();  // a snapshot, to see whether the history is emptied
    QCOMPARE(model.currentStoredSolveHasMarks(), storedHasMarks);

    QCOMPARE(model.removeCurrentSolve(next), removed);
    QCOMPARE(toLists(model.solves()), after);
    QCOMPARE(model.saved(), !removed);
    if (removed) {
        QCOMPARE(model.currentSolve(), next);
        QCOMPARE(toList(model.marks()), after.at(next));
        QVERIFY(model.undoStack().empty());
    } else {
        QCOMPARE(model.currentSolve(), current);
        QCOMPARE(int(model.undoStack().size()), 1);
    }
}

void TestSolveModel::switchSolve_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("switched");
    QTest::addColumn<List>("shown");

    QTest::newRow("same solve") << 0 << false << List{1, 2, 9};
    QTest::newRow("negative") << -1 << false << List{1, 2, 9};
    QTest::newRow("past the end") << 3 << false << List{1, 2, 9};
    QTest::newRow("second") << 1 << true << List{3};
    QTest::newRow("empty third") << 2 << true << List{};
}

void TestSolveModel::switchSolve()
{
    QFETCH(int, index);
    QFETCH(bool, switched);
    QFETCH(List, shown);

    SolveModel model;
    load(model, {{1, 2}, {3}, {}});
    model.addMark(9);
    model.setSaved(true);

    QCOMPARE(model.switchSolve(index), switched);
    QCOMPARE(model.currentSolve(), switched ? index : 0);
    QCOMPARE(toList(model.marks()), shown);
    // The working copy of the solve left behind was stored.
    QCOMPARE(toLists(model.solves()), (Lists{{1, 2, 9}, {3}, {}}));
    QCOMPARE(int(model.undoStack().size()), switched ? 0 : 1);
    QCOMPARE(model.saved(), true);
}

void TestSolveModel::clearAllAndReset()
{
    SolveModel model;
    load(model, {{1}, {2, 3}});
    QVERIFY(model.switchSolve(1));
    model.addMark(4);
    model.clearAll();
    QVERIFY(model.solves().empty());
    QVERIFY(model.marks().empty());
    QCOMPARE(model.currentSolve(), 0);
    QVERIFY(model.undoStack().empty());
    QCOMPARE(model.saved(), false);
    QCOMPARE(model.undo(), false);
    // The first mark after clearing everything starts solve 1 again.
    model.addMark(50);
    QCOMPARE(toLists(model.solves()), (Lists{{50}}));

    load(model, {{7}});
    QVERIFY(model.switchSolve(1));
    model.addMark(8);
    model.reset();
    QVERIFY(model.solves().empty());
    QVERIFY(model.marks().empty());
    QCOMPARE(model.currentSolve(), 0);
    QVERIFY(model.undoStack().empty());
}

void TestSolveModel::appendSolves_data()
{
    QTest::addColumn<Lists>("existing");
    QTest::addColumn<int>("current");
    QTest::addColumn<Lists>("loaded");
    QTest::addColumn<Lists>("after");
    QTest::addColumn<int>("snapshots");

    QTest::newRow("into empty model") << Lists{} << 0 << Lists{{1, 2}, {3}} << Lists{{1, 2}, {3}} << 0;
    QTest::newRow("nothing loaded") << Lists{} << 0 << Lists{} << Lists{} << 0;
    QTest::newRow("first solve stays current") << Lists{{1}} << 0 << Lists{{7}, {8}}
                                               << Lists{{1, 5}, {7}, {8}} << 1;
    QTest::newRow("second solve was current") << Lists{{1}, {2}} << 1 << Lists{{9}}
                                              << Lists{{1}, {2, 5}, {9}} << 0;
}

void TestSolveModel::appendSolves()
{
    QFETCH(Lists, existing);
    QFETCH(int, current);
    QFETCH(Lists, loaded);
    QFETCH(Lists, after);
    QFETCH(int, snapshots);

    SolveModel model;
    if (!existing.isEmpty()) {
        load(model, toSolves(existing));
        if (current != 0)
            QVERIFY(model.switchSolve(current));
        model.addMark(5);
    }

    model.appendSolves(toSolves(loaded));
    QCOMPARE(toLists(model.solves()), after);
    QCOMPARE(model.currentSolve(), 0);
    QCOMPARE(toList(model.marks()), after.isEmpty() ? List{} : after.front());
    QCOMPARE(int(model.undoStack().size()), snapshots);
}


QTEST_APPLESS_MAIN(TestSolveModel)
#include "tst_solvemodel.moc"
