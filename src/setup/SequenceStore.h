#pragma once
// The stored test sequences as the setup window changes them, through the sequence and step record
// objects. Every change that touches more than one row runs in one transaction: a save, a copy and a
// delete either happen whole or leave the database as it was (the failure is thrown as DbError after the
// rollback).
#include "setup/StepTable.h"

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <vector>

class clsConnection;
class clsSEQUENCE_INFO;
class clsSEQUENCE_STEP;

namespace setup {

// Binds info to the connection (which loads the name list) and returns the names, ascending.
QStringList SequenceNames(clsSEQUENCE_INFO& info, const clsConnection& connection);

// 1 when a stored sequence name equals name without regard to letter case, else 0. Binds info anew.
int CheckDuplicate(clsSEQUENCE_INFO& info, const clsConnection& connection, const QString& name);

// Looks the sequence up by name (GetSeqDetail) and returns the record's fields (id 0 when not stored).
QVariantList ReadSequence(clsSEQUENCE_INFO& info, const QString& name);

// The stored steps of a sequence, in step order (binds step to the connection with SequenceId = id).
std::vector<StoredStep> ReadSteps(clsSEQUENCE_STEP& step, const clsConnection& connection, double id);

// Saves a sequence: the header from fields (id, name, time before read, sample interval) and its steps,
// replacing every stored step of that id, in one transaction.
void SaveSequence(clsConnection& connection, clsSEQUENCE_INFO& info, clsSEQUENCE_STEP& step,
                  const QVariantList& fields, const std::vector<StoredStep>& steps);

// A new sequence named name with the record defaults and the given steps, in one transaction. Returns the
// new sequence's fields.
QVariantList CopySequence(clsConnection& connection, clsSEQUENCE_INFO& info, clsSEQUENCE_STEP& step,
                          const QString& name, const std::vector<StoredStep>& steps);

// Every sequence named name (as the database compares names) and all their steps, in one transaction.
// Returns the number of sequences removed.
int DeleteSequence(clsConnection& connection, clsSEQUENCE_INFO& info, clsSEQUENCE_STEP& step, const QString& name);

} // namespace setup
