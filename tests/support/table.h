#pragma once

#include <QTest>

#include <iterator>
#include <tuple>
#include <utility>

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

// A data-driven test's table, its columns known by their place: made in the data function,
// it declares them and adds each row it is called with; the test takes the current row's
// values with fetch(), in the same order.
template <typename... T> class Table
{
public:
    Table() { declare(std::index_sequence_for<T...>()); }
    void operator()(const char *tag, const T &...values) const
    {
        (QTest::newRow(tag) << ... << values);
    }
    static std::tuple<T...> fetch() { return take(std::index_sequence_for<T...>()); }

private:
    static constexpr const char *Names[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9"};
    static_assert(sizeof...(T) <= std::size(Names));
    template <std::size_t... I> static void declare(std::index_sequence<I...>)
    {
        (QTest::addColumn<T>(Names[I]), ...);
    }
    template <std::size_t... I> static std::tuple<T...> take(std::index_sequence<I...>)
    {
        return {*static_cast<T *>(QTest::qData(Names[I], qMetaTypeId<T>()))...};
    }
};
