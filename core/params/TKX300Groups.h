#pragma once

#include "params/ParameterTransfer.h"

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

// One KX300 parameter group as its window presents it: the window class, the caption prefix
// the slot number follows, the rows' table, the pages, the window size and kind, and how
// working-copy entries map to registers.
struct TKX300Group
{
    int number = 0;        // group number of the index tree, 1 (U) ... 10 (O)
    QChar letter;          // 'U', 'A' ... 'O'
    QString className;     // e.g. "TKX300BDnLdForm"
    QString captionPrefix; // the caption up to the slot number
    QString tableName;     // embedded row table, e.g. "kx300_b"
    int count = 0;         // number of working-copy entries N
    QStringList pages;     // page captions in order
    QSize size;            // window size set when the window is shown
    bool mdiChild = false; // MDI child of the main window; else a top-level window
    bool readOnly = false; // the monitor group: upload only, no working copy to edit
    int registerBase = -1; // entry i lives in register base + i; -1: the rows list them

    // The window caption of a slot: the prefix followed by the slot number.
    QString caption(int slot) const { return captionPrefix + QString::number(slot); }
};

// The ten KX300 groups and the tree of the group index window.
class TKX300Groups
{
public:
    static constexpr int Count = 10;
    static constexpr int CommitRegister = 0xFFFD;

    // Group numbers 1 ... 10 in order U, A, B, C, D, E, F, H, L, O.
    static const QList<TKX300Group> &all();
    // The group of a tree group number; null for 0 and anything outside 1 ... 10.
    static const TKX300Group *byNumber(int number);
    static const TKX300Group *byLetter(QChar letter);
    static const TKX300Group *byClassName(const QString &className);

    // The transfer plan of a group: its rows with the registers and table entries of the KX300
    // parameter set, a commit after every write, the group's own defaults; the monitor group
    // only reads. Each row must agree with the parameter set and, for a group whose registers
    // follow base + i, with that formula. An empty plan and the reason otherwise.
    static ParameterTransfer::Plan plan(const TKX300Group &group, QString *error = nullptr);

    // A node of the group index tree, in pre-order: its text, its depth (0 for the root) and
    // the group it opens (0: none).
    struct TreeNode
    {
        QString text;
        int depth = 0;
        int group = 0;
    };
    static const QList<TreeNode> &tree();
};
