#include "SolveModel.h"

#include <algorithm>

void SolveModel::pushUndo()
{
    undoStack_.push_back(marks_);
    redoStack_.clear();
}

void SolveModel::clearHistory()
{
    undoStack_.clear();
    redoStack_.clear();
}

void SolveModel::writeBack()
{
    if (currentSolve_ < 0)
        return;
    const auto index = static_cast<size_t>(currentSolve_);
    if (solves_.size() <= index)
        solves_.resize(index + 1);
    solves_[index] = marks_;
}

int SolveModel::addMark(int32_t frame)
{
    pushUndo();
    marks_.push_back(frame);
    std::sort(marks_.begin(), marks_.end());
    const auto first = std::lower_bound(marks_.begin(), marks_.end(), frame);
    writeBack();
    saved_ = false;
    return static_cast<int>(first - marks_.begin());
}

bool SolveModel::removeMark(int row, bool clearAll)
{
    if (marks_.empty())
        return false;
    pushUndo();
    if (clearAll) {
        marks_.clear();
    } else {
        if (row < 0 || row >= static_cast<int>(marks_.size()))
            return false;
        marks_.erase(marks_.begin() + row);
    }
    writeBack();
    saved_ = false;
    return true;
}

bool SolveModel::updateMark(int row, int32_t frame)
{
    if (row < 0 || row >= static_cast<int>(marks_.size()))
        return false;
    pushUndo();
    marks_[static_cast<size_t>(row)] = frame;
    std::sort(marks_.begin(), marks_.end());
    writeBack();
    saved_ = false;
    return true;
}

int SolveModel::addSolve()
{
    if (!solves_.empty())
        writeBack();
    else
        solves_.push_back(marks_);
    marks_.clear();
    solves_.emplace_back();
    currentSolve_ = static_cast<int32_t>(solves_.size()) - 1;
    clearHistory();
    saved_ = false;
    return static_cast<int>(solves_.size());
}

bool SolveModel::currentStoredSolveHasMarks() const
{
    if (currentSolve_ < 0 || static_cast<size_t>(currentSolve_) >= solves_.size())
        return false;
    return !solves_[static_cast<size_t>(currentSolve_)].empty();
}

bool SolveModel::removeCurrentSolve(int nextCurrent)
{
    if (solves_.size() < 2)
        return false;
    if (currentSolve_ >= 0 && static_cast<size_t>(currentSolve_) < solves_.size())
        solves_.erase(solves_.begin() + currentSolve_);
    const int last = static_cast<int>(solves_.size()) - 1;
    currentSolve_ = std::clamp(nextCurrent, 0, last);
    marks_ = solves_[static_cast<size_t>(currentSolve_)];
    clearHistory();
    saved_ = false;
    return true;
}

bool SolveModel::switchSolve(int index)
{
    if (index == currentSolve_ || index < 0 || index >= static_cast<int>(solves_.size()))
        return false;
    writeBack();
    clearHistory();
    marks_ = solves_[static_cast<size_t>(index)];
    currentSolve_ = index;
    return true;
}

void SolveModel::clearCurrentSolve()
{
    pushUndo();
    marks_.clear();
    writeBack();
    saved_ = false;
}

void SolveModel::clearAll()
{
    clearHistory();
    solves_.clear();
    marks_.clear();
    currentSolve_ = 0;
    saved_ = false;
}

bool SolveModel::undo()
{
    saved_ = false;
    if (undoStack_.empty())
        return false;
    redoStack_.push_back(marks_);
    marks_ = std::move(undoStack_.back());
    undoStack_.pop_back();
    writeBack();
    return true;
}

bool SolveModel::redo()
{
    saved_ = false;
    if (redoStack_.empty())
        return false;
    undoStack_.push_back(marks_);
    marks_ = std::move(redoStack_.back());
    redoStack_.pop_back();
    writeBack();
    return true;
}

bool SolveModel::paste(const Marks &values)
{
    if (values.empty())
        return false;
    pushUndo();
    marks_ = values;
    writeBack();
    saved_ = false;
    return true;
}

void SolveModel::reset()
{
    marks_.clear();
    solves_.clear();
    currentSolve_ = 0;
    clearHistory();
}

void SolveModel::appendSolves(const std::vector<Marks> &loaded)
{
    solves_.insert(solves_.end(), loaded.begin(), loaded.end());
    // The history belongs to the solve that was current; once another solve
    // becomes current its snapshots would overwrite the wrong solve.
    if (currentSolve_ != 0)
        clearHistory();
    currentSolve_ = 0;
    marks_ = solves_.empty() ? Marks{} : solves_.front();
}
