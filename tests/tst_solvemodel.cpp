// Tests of the solve model: split marks, solves, write-back and undo/redo.
#include "SolveModel.h"

#include <QList>
#include <QTest>

#include <algorithm>
#include <random>

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

Marks toMarks(const List &list)
{
    return Marks(list.begin(), list.end());
}

// A model holding `solves` (the first one current) with no history and nothing unsaved.
void load(SolveModel &model, const std::vector<Marks> &solves)
{
    model.appendSolves(solves);
    model.setSaved(true);
}

// Straightforward model of the documented behaviour, used as the reference for
// the random sequence test. The solve shown after removing one is the one the
// combo box selects: the following item, or the previous one at the end.
struct Reference
{
    Marks marks;
    std::vector<Marks> solves;
    int cur = 0;
    std::vector<Marks> undo, redo;
    bool saved = true;

    void push() { undo.push_back(marks); redo.clear(); }
    void clearHistory() { undo.clear(); redo.clear(); }
    void store()
    {
        while (solves.size() <= size_t(cur))
            solves.emplace_back();
        solves[size_t(cur)] = marks;
    }
    void changed() { store(); saved = false; }
};

} // namespace

// Both checks return from the calling test function on failure.
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
    void undoRedoHistory();
    void emptyStacksStillMarkUnsaved();
    void pasteKeepsOrder();
    void addSolve_data();
    void addSolve();
    void removeCurrentSolve_data();
    void removeCurrentSolve();
    void switchSolve_data();
    void switchSolve();
    void clearAllAndReset();
    void appendSolves_data();
    void appendSolves();
    void randomSequenceMatchesReference();
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

void TestSolveModel::undoRedoHistory()
{
    SolveModel model;
    model.addMark(10);
    model.addMark(20);
    model.addMark(5);

    QVERIFY(model.undo());
    QCOMPARE(toList(model.marks()), (List{10, 20}));
    QVERIFY(model.undo());
    QCOMPARE(toList(model.marks()), (List{10}));
    QVERIFY(model.redo());
    QCOMPARE(toList(model.marks()), (List{10, 20}));
    CHECK_WRITE_BACK(model);

    // A new change forgets what could be redone.
    model.addMark(30);
    QVERIFY(model.redoStack().empty());
    QCOMPARE(model.redo(), false);
    QCOMPARE(toList(model.marks()), (List{10, 20, 30}));

    QVERIFY(model.undo());
    QVERIFY(model.undo());
    QVERIFY(model.undo());
    QCOMPARE(toList(model.marks()), (List{}));
    QCOMPARE(model.undo(), false);
    CHECK_WRITE_BACK(model);
}

void TestSolveModel::emptyStacksStillMarkUnsaved()
{
    SolveModel model;
    load(model, {{4, 8}});
    QCOMPARE(model.undo(), false);
    QCOMPARE(model.saved(), false);
    model.setSaved(true);
    QCOMPARE(model.redo(), false);
    QCOMPARE(model.saved(), false);
    QCOMPARE(toLists(model.solves()), (Lists{{4, 8}}));
    QCOMPARE(toList(model.marks()), (List{4, 8}));
}

void TestSolveModel::pasteKeepsOrder()
{
    SolveModel model;
    load(model, {{1, 2}});
    QCOMPARE(model.paste({}), false);
    QVERIFY(model.undoStack().empty());
    QCOMPARE(model.saved(), true);

    QVERIFY(model.paste({30, 10, 20, 10}));
    QCOMPARE(toList(model.marks()), (List{30, 10, 20, 10}));
    QCOMPARE(model.saved(), false);
    CHECK_WRITE_BACK(model);
    QVERIFY(model.undo());
    QCOMPARE(toList(model.marks()), (List{1, 2}));
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
    std::vector<Marks> solves;
    for (const List &l : loaded)
        solves.push_back(toMarks(l));
    load(model, solves);
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
    std::vector<Marks> solves;
    for (const List &l : loaded)
        solves.push_back(toMarks(l));
    load(model, solves);
    if (current != 0)
        QVERIFY(model.switchSolve(current));
    if (!loaded.isEmpty())
        model.pushUndo();
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
        QCOMPARE(int(model.undoStack().size()), loaded.isEmpty() ? 0 : 1);
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
    model.clearCurrentSolve();
    QCOMPARE(toLists(model.solves()), (Lists{{1}, {}}));
    QCOMPARE(int(model.undoStack().size()), 2);
    QCOMPARE(toList(model.undoStack().back()), (List{2, 3, 4}));

    model.setSaved(true);
    model.clearAll();
    QVERIFY(model.solves().empty());
    QVERIFY(model.marks().empty());
    QCOMPARE(model.currentSolve(), 0);
    QVERIFY(model.undoStack().empty());
    QCOMPARE(model.saved(), false);
    QCOMPARE(model.undo(), false);
    QVERIFY(model.marks().empty());

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
    QVERIFY(model.redoStack().empty());
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
    std::vector<Marks> first, second;
    for (const List &l : existing)
        first.push_back(toMarks(l));
    for (const List &l : loaded)
        second.push_back(toMarks(l));
    if (!existing.isEmpty()) {
        load(model, first);
        if (current != 0)
            QVERIFY(model.switchSolve(current));
        model.addMark(5);
    }

    model.appendSolves(second);
    QCOMPARE(toLists(model.solves()), after);
    QCOMPARE(model.currentSolve(), 0);
    QCOMPARE(toList(model.marks()), after.isEmpty() ? List{} : after.front());
    QCOMPARE(int(model.undoStack().size()), snapshots);
}

void TestSolveModel::randomSequenceMatchesReference()
{
    std::mt19937 rng(20240611);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    SolveModel model;
    Reference ref;
    for (int step = 0; step < 20000; ++step) {
        const int op = pick(0, 99);
        const int n = int(ref.marks.size());
        const int count = int(ref.solves.size());
        const char *name = "";
        if (op < 30) {
            name = "add";
            const int f = pick(0, 12);
            ref.push();
            ref.marks.push_back(f);
            std::sort(ref.marks.begin(), ref.marks.end());
            ref.changed();
            const int first = int(std::find(ref.marks.begin(), ref.marks.end(), f) - ref.marks.begin());
            QCOMPARE(model.addMark(f), first);
        } else if (op < 42) {
            name = "remove";
            const int row = pick(-1, n + 1);
            const bool all = pick(0, 9) == 0;
            const bool ok = n > 0 && (all || (row >= 0 && row < n));
            if (n > 0)
                ref.push();
            if (ok) {
                if (all)
                    ref.marks.clear();
                else
                    ref.marks.erase(ref.marks.begin() + row);
                ref.changed();
            }
            QCOMPARE(model.removeMark(row, all), ok);
        } else if (op < 50) {
            name = "update";
            const int row = pick(-1, n);
            const int f = pick(0, 12);
            const bool ok = row >= 0 && row < n;
            if (ok) {
                ref.push();
                ref.marks[size_t(row)] = f;
                std::sort(ref.marks.begin(), ref.marks.end());
                ref.changed();
            }
            QCOMPARE(model.updateMark(row, f), ok);
        } else if (op < 55) {
            name = "add solve";
            if (ref.solves.empty())
                ref.solves.push_back(ref.marks);
            else
                ref.store();
            ref.marks.clear();
            ref.solves.emplace_back();
            ref.cur = int(ref.solves.size()) - 1;
            ref.clearHistory();
            ref.saved = false;
            QCOMPARE(model.addSolve(), int(ref.solves.size()));
        } else if (op < 60) {
            name = "remove solve";
            const bool ok = count >= 2;
            if (ok) {
                ref.solves.erase(ref.solves.begin() + ref.cur);
                ref.cur = std::min(ref.cur, int(ref.solves.size()) - 1);
                ref.marks = ref.solves[size_t(ref.cur)];
                ref.clearHistory();
                ref.saved = false;
            }
            QCOMPARE(model.removeCurrentSolve(ref.cur), ok);
        } else if (op < 68) {
            name = "switch";
            const int index = pick(-1, count);
            const bool ok = index != ref.cur && index >= 0 && index < count;
            if (ok) {
                ref.store();
                ref.clearHistory();
                ref.marks = ref.solves[size_t(index)];
                ref.cur = index;
            }
            QCOMPARE(model.switchSolve(index), ok);
        } else if (op < 72) {
            name = "clear solve";
            ref.push();
            ref.marks.clear();
            ref.changed();
            model.clearCurrentSolve();
        } else if (op < 73) {
            name = "clear all";
            ref = Reference{};
            ref.saved = false;
            model.clearAll();
        } else if (op < 84) {
            name = "undo";
            const bool ok = !ref.undo.empty();
            if (ok) {
                ref.redo.push_back(ref.marks);
                ref.marks = ref.undo.back();
                ref.undo.pop_back();
                ref.store();
            }
            ref.saved = false;
            QCOMPARE(model.undo(), ok);
        } else if (op < 94) {
            name = "redo";
            const bool ok = !ref.redo.empty();
            if (ok) {
                ref.undo.push_back(ref.marks);
                ref.marks = ref.redo.back();
                ref.redo.pop_back();
                ref.store();
            }
            ref.saved = false;
            QCOMPARE(model.redo(), ok);
        } else if (op < 97) {
            name = "paste";
            Marks values;
            for (int i = pick(0, 4); i > 0; --i)
                values.push_back(pick(0, 12));
            if (!values.empty()) {
                ref.push();
                ref.marks = values;
                ref.changed();
            }
            QCOMPARE(model.paste(values), !values.empty());
        } else {
            name = "save";
            ref.saved = true;
            model.setSaved(true);
        }

        const QByteArray where = "step " + QByteArray::number(step) + " (" + name + ')';
        QVERIFY2(model.marks() == ref.marks, where.constData());
        QVERIFY2(model.solves() == ref.solves, where.constData());
        QVERIFY2(model.currentSolve() == ref.cur, where.constData());
        QVERIFY2(model.undoStack() == ref.undo, where.constData());
        QVERIFY2(model.redoStack() == ref.redo, where.constData());
        QVERIFY2(model.saved() == ref.saved, where.constData());
        if (model.solves().empty())
            QVERIFY2(model.marks().empty() && model.currentSolve() == 0, where.constData());
        else
            QVERIFY2(model.solves()[size_t(model.currentSolve())] == model.marks(), where.constData());
    }
}

QTEST_APPLESS_MAIN(TestSolveModel)
#include "tst_solvemodel.moc"
