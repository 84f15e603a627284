#include "cli/Commands.h"

namespace quillgen {

static std::vector<Registrar>& RegistrarList() {
    static std::vector<Registrar> registrars;
    return registrars;
}

bool RegisterCommand(Registrar registrar) {
    RegistrarList().push_back(registrar);
    return true;
}

const std::vector<Registrar>& Registrars() {
    return RegistrarList();
}

} // namespace quillgen
