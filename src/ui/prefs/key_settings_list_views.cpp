#include "ui/prefs/key_settings_list_views.h"

#include "ui/prefs/programmatic_table_cell_view.h"

namespace vandrel {

VDTextField::VDTextField(QWidget* parent) : QLineEdit(parent)
{
    setFont(smallSystemFont());
}

}  // namespace vandrel
