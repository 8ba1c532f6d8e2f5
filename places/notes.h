#pragma once
// The descriptions window: the user's places with their descriptions and
// pictures. (Its controls arrive with the descriptions window's work; the
// data module already keeps its caption on the current place.)

#include "app/child_form.h"

namespace corvane {

class TfrmNotes : public TChildForm {
    Q_OBJECT
public:
    explicit TfrmNotes(QWidget* parent = nullptr);
    ~TfrmNotes() override;
};

} // namespace corvane
