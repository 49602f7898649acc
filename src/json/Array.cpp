#include "json/Array.h"

#include "json/Exceptions.h"
#include "json/HugePages.h"
#include "json/ObjectMemory.h"
#include "json/ValueCache.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace json {

namespace {

    std::string message(const char* selector, const char* format, unsigned long a = 0, unsigned long b = 0)
    {
        char text[256];
        std::snprintf(text, sizeof text, "*** -[%s %s]: ", "JCArray", selector);
        std::string result = text;
        std::snprintf(text, sizeof text, format, a, b);
        return result + text;
    }

    [[noreturn]] void raiseBeyondBounds(const char* selector, unsigned long index, unsigned long bound)
    {
        throw RangeException(message(selector, "index (%lu) beyond bounds (%lu)", index, bound));
    }

} // namespace

Value Array::create(detail::Object* const* objects, std::size_t count, bool isMutable, bool discardSource)
{
    // Decoded arrays keep their elements in the same block as the array itself.
    std::uint8_t sizeClass;
    void* memory;
    try {
        const std::size_t bytes = sizeof(Array) + count * sizeof(Value);
        memory = discardSource ? detail::allocateObjectUnpopulated(bytes, sizeClass)
                               : detail::allocateObjectInline(bytes, sizeClass);
    } catch (const std::bad_alloc&) {
        detail::settleDecodeCounts();
        for (std::size_t i = 0; i < count; ++i)
            detail::release(objects[i]);
        return {};
    }
    auto* array = new (memory) Array;
    detail::setUpHeader(array, Kind::Array, sizeClass);
    array->m_objects = reinterpret_cast<Value*>(array + 1);
    // In steps of the discard size, so that the source's pages go as soon
    // as they are copied: the whole source and the whole array are never
    // resident together.
    const std::size_t step = discardSource ? kDiscardedSourceEntries : count;
    for (std::size_t done = 0; done < count;) {
        const std::size_t end = std::min(count, done + step);
        if (discardSource)
            detail::populatePages(array->m_objects + done, array->m_objects + end);
        for (std::size_t i = done; i < end; ++i)
            new (&array->m_objects[i]) Value(Value::adopt(objects[i]));
        // From a page before the step: the page the last step ended inside goes now.
        if (discardSource)
            detail::discardPages(objects + (done > 512 ? done - 512 : 0), objects + end);
        done = end;
    }
    array->m_count = static_cast<std::uint32_t>(count);
    array->m_capacity = static_cast<std::uint32_t>(count);
    array->m_mutations = isMutable ? 1 : 0;
    return Value::adopt(array);
}

void Array::destroy() noexcept
{
    detail::ReleaseScope scope;
    for (std::uint32_t i = 0; i < m_count; ++i)
        if (detail::Object* object = m_objects[i].leak())
            detail::releaseElement(object);
    if (m_ownsBlock)
        std::free(m_objects);
    std::uint8_t sizeClass = this->sizeClass;
    this->~Array();
    detail::freeObjectInline(this, sizeClass);
}

const Value& Array::objectAtIndex(std::size_t index) const
{
    if (index >= m_count)
        raiseBeyondBounds("objectAtIndex:", index, m_count);
    return m_objects[index];
}

void Array::getObjects(Value* buffer, std::size_t location, std::size_t length) const
{
    if (!buffer && location + length != 0)
        throw RangeException(message(
            "getObjects:range:", "pointer to objects array is NULL but range length is %lu", location + length));
    if (location > m_count || location + length > m_count)
        raiseBeyondBounds("getObjects:range:", location + length, m_count);
    for (std::size_t i = 0; i < length; ++i)
        buffer[i] = m_objects[location + i];
}

void Array::requireMutable(const char* selector) const
{
    if (m_mutations == 0)
        throw InternalInconsistencyException(message(selector, "mutating method sent to immutable object"));
}

void Array::noteMutation() noexcept
{
    // The marker doubles as the mutability switch, so it skips 0 when it wraps.
    m_mutations = m_mutations == UINT32_MAX ? 1 : m_mutations + 1;
}

void Array::insertObject(const Value& value, std::size_t index)
{
    requireMutable("insertObject:atIndex:");
    if (!value)
        throw InvalidArgumentException(message("insertObject:atIndex:", "attempt to insert nil"));
    if (index > m_count)
        raiseBeyondBounds("insertObject:atIndex:", index, m_count + 1UL);
    Value held(value);
    if (m_count + 1 >= m_capacity) {
        std::size_t newCapacity = m_capacity + 16;
        auto* block = static_cast<Value*>(std::malloc(newCapacity * sizeof(Value)));
        if (!block)
            throw MallocException("Unable to resize objects array.");
        // Values are single pointers: moving them is a plain copy of the block.
        std::memcpy(static_cast<void*>(block), static_cast<const void*>(m_objects), m_count * sizeof(Value));
        std::memset(static_cast<void*>(block + m_count), 0, (newCapacity - m_count) * sizeof(Value));
        if (m_ownsBlock)
            std::free(m_objects);
        m_objects = block;
        m_ownsBlock = true;
        m_capacity = static_cast<std::uint32_t>(newCapacity);
    }
    std::memmove(static_cast<void*>(m_objects + index + 1), static_cast<const void*>(m_objects + index),
        (m_count - index) * sizeof(Value));
    new (&m_objects[index]) Value(std::move(held));
    ++m_count;
    noteMutation();
}

void Array::removeObjectAtIndex(std::size_t index)
{
    requireMutable("removeObjectAtIndex:");
    if (index >= m_count)
        raiseBeyondBounds("removeObjectAtIndex:", index, m_count);
    Value removed(std::move(m_objects[index]));
    m_objects[index].~Value();
    std::memmove(static_cast<void*>(m_objects + index), static_cast<const void*>(m_objects + index + 1),
        (m_count - index - 1) * sizeof(Value));
    --m_count;
    new (&m_objects[m_count]) Value();
    noteMutation();
}

void Array::replaceObjectAtIndex(std::size_t index, const Value& value)
{
    requireMutable("replaceObjectAtIndex:withObject:");
    if (!value)
        throw InvalidArgumentException(message("replaceObjectAtIndex:withObject:", "attempt to insert nil"));
    if (index >= m_count)
        raiseBeyondBounds("replaceObjectAtIndex:withObject:", index, m_count);
    m_objects[index] = value;
    noteMutation();
}

} // namespace json
