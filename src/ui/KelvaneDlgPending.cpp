// Command handlers whose work is not built yet. Whoever builds one moves its
// definition into a file of their own and deletes it here.
#include "ui/KelvaneDlg.h"
