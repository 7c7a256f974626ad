#pragma once

#include <QTest>

#include <tuple>

// Declares the test data's columns: one name for each type.
template <typename... T, typename... Names> void columns(Names... names)
{
    (QTest::addColumn<T>(names), ...);
}

// The current data row's values of the columns named, as QFETCH would give them one by one.
template <typename... T, typename... Names> std::tuple<T...> fetch(Names... names)
{
    return {*static_cast<T *>(QTest::qData(names, qMetaTypeId<T>()))...};
}
