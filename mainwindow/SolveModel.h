#pragma once

#include <cstdint>
#include <vector>

// Split marks of one solve: frame numbers as the frame counter showed them when
// each mark was placed. After an add or an update they are sorted ascending;
// marks read from a file or the clipboard keep the order they were read in.
using Marks = std::vector<int32_t>;

// The solves of one video and the editing history of the current solve.
//
// `marks` is the working copy of the current solve; every operation that
// changes it stores it back into `solves` at `currentSolve` ("write back"),
// appending empty solves until that entry exists. The undo and redo stacks
// hold full snapshots of `marks` and belong to the current solve only: they
// are emptied whenever the current solve changes.
//
// Operations only change the model; the caller redraws and updates the title.
class SolveModel
{
public:
    const Marks &marks() const { return marks_; }
    const std::vector<Marks> &solves() const { return solves_; }
    int32_t currentSolve() const { return currentSolve_; }
    const std::vector<Marks> &undoStack() const { return undoStack_; }
    const std::vector<Marks> &redoStack() const { return redoStack_; }
    // True when nothing changed since the last load or save.
    bool saved() const { return saved_; }

    void setSaved(bool saved) { saved_ = saved; }

    void pushUndo();
    void clearHistory();

    // Inserts `frame` and sorts; returns the index of the first mark equal to it.
    int addMark(int32_t frame);
    // Removes the mark at `row`, or every mark when `clearAll`. Pushes a
    // snapshot whenever there are marks, even if `row` then turns out invalid.
    // Returns false when nothing was removed (no marks, or `row` is not a mark).
    bool removeMark(int row, bool clearAll);
    // Moves the mark at `row` to `frame` and sorts; false when `row` is not a mark.
    bool updateMark(int row, int32_t frame);

    // Appends an empty solve and makes it current; marks placed while the list
    // was empty become the first solve. Returns the new number of solves.
    int addSolve();
    // True when the stored entry of the current solve (not the working copy) has marks.
    bool currentStoredSolveHasMarks() const;
    // Erases the current solve and makes `nextCurrent` (an index into the
    // shortened list, the entry shown in its place) current. Refuses (false)
    // with fewer than two solves.
    bool removeCurrentSolve(int nextCurrent);
    // Makes solve `index` current; false when it already is or does not exist.
    bool switchSolve(int index);
    void clearCurrentSolve();
    // Forgets every solve and mark; the current solve index becomes 0.
    void clearAll();

    // False when the stack was empty. Either way the solves count as changed.
    bool undo();
    bool redo();

    // Replaces the working marks with `values`, in their order. False (and no
    // change) when `values` is empty.
    bool paste(const Marks &values);

    // State of a freshly opened video: no solves, no marks, no history.
    void reset();
    // Appends solves read from a splits file and makes the first solve current.
    void appendSolves(const std::vector<Marks> &loaded);

    // Stores the working copy into the current solve's entry.
    void writeBack();

private:
    Marks marks_;
    std::vector<Marks> solves_;
    int32_t currentSolve_ = 0;
    std::vector<Marks> undoStack_;
    std::vector<Marks> redoStack_;
    bool saved_ = true;
};
