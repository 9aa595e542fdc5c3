#include "com/dispatch_call.h"

#include "com/raii.h"

HRESULT InvokeByName(IDispatch* target, const wchar_t* name, WORD flags, VARIANT* reversedArgs, UINT argCount,
                     VARIANT* result)
{
    if (!target)
        return E_POINTER;
    DISPID dispid = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr))
        return hr;
    DISPPARAMS params{reversedArgs, nullptr, argCount, 0};
    UniqueExcepInfo exception;
    UINT argError = 0;
    hr = target->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, exception.get(), &argError);
    if (hr == DISP_E_EXCEPTION) {
        // The member raised an error: report the error it carried.
        EXCEPINFO& info = *exception.get();
        if (info.pfnDeferredFillIn)
            info.pfnDeferredFillIn(&info);
        hr = info.scode ? info.scode : info.wCode ? MAKE_HRESULT(SEVERITY_ERROR, FACILITY_DISPATCH, info.wCode) : hr;
    }
    return hr;
}
