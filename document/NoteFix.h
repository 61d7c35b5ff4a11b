#pragma once

#include "CellFix.h"
#include "qnVelTorDataNotes.h"

// The fix the review list offers for a whole group of notes where it is
// mechanical: a lower-case i, v or t in the IVT category made upper case, a
// q or m made Q or M, a collect code or IL category that needs no input
// emptied, a sub-number of one or two digits given its leading zeros, the
// hyphens taken out of a work code, an empty fee or request count made 0.
// A cell is changed only where that clears its note; the others are left
// for the user.
class NoteFix : public CellFix
{
    Q_DECLARE_TR_FUNCTIONS(NoteFix)

public:
    explicit NoteFix(NoteKind kind) : kind(kind) {}

    // Whether the notes of this kind have a fix.
    static bool Offered(NoteKind kind);
    QString Text() const override;

protected:
    bool Touches(std::uint32_t field) const override;
    bool Fix(std::uint32_t field, std::string_view value, std::string &out) const override;

private:
    QString FieldTitle() const;

    NoteKind kind;
};
