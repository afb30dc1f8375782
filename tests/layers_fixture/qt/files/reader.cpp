// A file reader that uses Qt: the layer check must refuse it.
#include <QString>
