#include "Artwork.h"

namespace corvalin::artwork {

QPixmap pixmap(const char* name) {
    return QPixmap(path(name));
}

} // namespace corvalin::artwork
