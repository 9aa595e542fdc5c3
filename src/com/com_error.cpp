#include "com/com_error.h"

#include <new>

HRESULT CaughtExceptionResult() noexcept
{
    try {
        throw;
    } catch (const ComError& error) {
        return error.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
