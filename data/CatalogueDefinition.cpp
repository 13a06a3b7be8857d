#include "CatalogueDefinition.h"

namespace hv {

CatalogueDefinition CatalogueDefinition::users() {
    return {QStringLiteral("users"),
            QStringLiteral("users"),
            QStringLiteral("Select * From users ORDER By UserName"),
            QStringLiteral("Select * From users ORDER By UserName"),
            {QStringLiteral("UserName"), QStringLiteral("Password")}};
}

CatalogueDefinition CatalogueDefinition::locations() {
    return {QStringLiteral("locations"),
            QStringLiteral("locations"),
            QStringLiteral("Select * From locations ORDER By CodeLocation"),
            QStringLiteral("Select * From locations ORDER By CodeLocation"),
            {QStringLiteral("CodeLocation")}};
}

CatalogueDefinition CatalogueDefinition::codes() {
    return {QStringLiteral("codes"),
            QStringLiteral("codes"),
            QStringLiteral("Select * From codes ORDER By CodeName"),
            QStringLiteral("Select CodeName From codes ORDER By CodeName"),
            {QStringLiteral("CodeName"), QStringLiteral("Comments")}};
}

} // namespace hv
