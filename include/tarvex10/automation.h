/*
 * The binary contract between automation clients, the platform runtime and
 * the Tarvex10 component: the classic component and automation types, laid
 * out exactly as clients written in C or any language with a C FFI expect.
 *
 *   GUID       {uint32, uint16, uint16, uint8[8]}
 *   HRESULT    int32; negative values are failures
 *   BSTR       pointer to length-prefixed, NUL-terminated UTF-16
 *   VARIANT    16-bit type tag, three reserved words and a 16-byte union
 *   interfaces tables of function pointers: IUnknown's three, IDispatch's
 *              four, then the members in order
 *
 * The same declarations serve C and C++: in C++ the interfaces are abstract
 * classes whose virtual tables have exactly the layout of the C structs.
 */
#ifndef TARVEX10_AUTOMATION_H
#define TARVEX10_AUTOMATION_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- scalar types ----------------------------------------------------- */

typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint16_t USHORT;
typedef int16_t SHORT;
typedef uint8_t BYTE;
typedef uint32_t UINT;
typedef int32_t INT;
typedef int32_t BOOL;
typedef uint32_t LCID;
typedef int32_t DISPID;
typedef int32_t MEMBERID;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef double DATE;
typedef void *HWND;

#ifdef __cplusplus
typedef char16_t OLECHAR;
#else
typedef uint16_t OLECHAR;
#endif
typedef OLECHAR *LPOLESTR;
typedef const OLECHAR *LPCOLESTR;
typedef OLECHAR *BSTR;

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

typedef struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
#ifdef __cplusplus
typedef const GUID &REFGUID;
typedef const IID &REFIID;
typedef const CLSID &REFCLSID;
#else
typedef const GUID *REFGUID;
typedef const IID *REFIID;
typedef const CLSID *REFCLSID;
#endif

/* ---- statuses ----------------------------------------------------------- */

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define E_POINTER ((HRESULT)0x80004003)
#define E_ABORT ((HRESULT)0x80004004)
#define E_FAIL ((HRESULT)0x80004005)
#define E_UNEXPECTED ((HRESULT)0x8000FFFF)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define E_ACCESSDENIED ((HRESULT)0x80070005)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define REGDB_E_READREGDB ((HRESULT)0x80040150)
#define REGDB_E_WRITEREGDB ((HRESULT)0x80040151)
#define CO_E_CLASSSTRING ((HRESULT)0x800401F3)
#define CO_E_DLLNOTFOUND ((HRESULT)0x800401F8)
#define CO_E_ERRORINDLL ((HRESULT)0x800401F9)
#define CO_E_OBJNOTREG ((HRESULT)0x800401FB)
#define RPC_E_WRONG_THREAD ((HRESULT)0x8001010E)
#define TYPE_E_ELEMENTNOTFOUND ((HRESULT)0x8002802B)
#define TYPE_E_LIBNOTREGISTERED ((HRESULT)0x8002801D)

#define DISP_E_UNKNOWNINTERFACE ((HRESULT)0x80020001)
#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003)
#define DISP_E_PARAMNOTFOUND ((HRESULT)0x80020004)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005)
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006)
#define DISP_E_NONAMEDARGS ((HRESULT)0x80020007)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000A)
#define DISP_E_BADINDEX ((HRESULT)0x8002000B)
#define DISP_E_UNKNOWNLCID ((HRESULT)0x8002000C)
#define DISP_E_ARRAYISLOCKED ((HRESULT)0x8002000D)
#define DISP_E_BADPARAMCOUNT ((HRESULT)0x8002000E)
#define DISP_E_PARAMNOTOPTIONAL ((HRESULT)0x8002000F)
#define DISP_E_DIVBYZERO ((HRESULT)0x80020012)

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

/* ---- VARIANT ------------------------------------------------------------- */

enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_PTR = 26,
    VT_SAFEARRAY = 27,
    VT_USERDEFINED = 29,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0fff
};

typedef struct CY {
    int64_t int64;
} CY;

typedef struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
} SAFEARRAYBOUND;

/* Bounds are stored last dimension first, as the classic layout does. */
typedef struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void *pvData;
    SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY;

#define FADF_AUTO 0x0001
#define FADF_STATIC 0x0002
#define FADF_EMBEDDED 0x0004
#define FADF_FIXEDSIZE 0x0010
#define FADF_BSTR 0x0100
#define FADF_UNKNOWN 0x0200
#define FADF_DISPATCH 0x0400
#define FADF_VARIANT 0x0800
#define FADF_HAVEVARTYPE 0x0080

#ifdef __cplusplus
struct IUnknown;
struct IDispatch;
#else
typedef struct IUnknown IUnknown;
typedef struct IDispatch IDispatch;
#endif

typedef struct VARIANT VARIANT;
struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        int64_t llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        struct IUnknown *punkVal;
        struct IDispatch *pdispVal;
        SAFEARRAY *parray;
        BYTE *pbVal;
        SHORT *piVal;
        LONG *plVal;
        int64_t *pllVal;
        float *pfltVal;
        double *pdblVal;
        VARIANT_BOOL *pboolVal;
        SCODE *pscode;
        CY *pcyVal;
        DATE *pdate;
        BSTR *pbstrVal;
        struct IUnknown **ppunkVal;
        struct IDispatch **ppdispVal;
        SAFEARRAY **pparray;
        VARIANT *pvarVal;
        void *byref;
        char cVal;
        USHORT uiVal;
        ULONG ulVal;
        uint64_t ullVal;
        INT intVal;
        UINT uintVal;
        struct {
            void *pvRecord;
            void *pRecInfo;
        } brecVal;
    } u;
};
typedef VARIANT VARIANTARG;

/* Field access in the classic spelling: V_VT(&v), V_I4(&v), ... */
#define V_VT(X) ((X)->vt)
#define V_ISBYREF(X) (V_VT(X) & VT_BYREF)
#define V_ISARRAY(X) (V_VT(X) & VT_ARRAY)
#define V_UI1(X) ((X)->u.bVal)
#define V_I2(X) ((X)->u.iVal)
#define V_I4(X) ((X)->u.lVal)
#define V_I8(X) ((X)->u.llVal)
#define V_R4(X) ((X)->u.fltVal)
#define V_R8(X) ((X)->u.dblVal)
#define V_CY(X) ((X)->u.cyVal)
#define V_DATE(X) ((X)->u.date)
#define V_BOOL(X) ((X)->u.boolVal)
#define V_ERROR(X) ((X)->u.scode)
#define V_BSTR(X) ((X)->u.bstrVal)
#define V_UNKNOWN(X) ((X)->u.punkVal)
#define V_DISPATCH(X) ((X)->u.pdispVal)
#define V_ARRAY(X) ((X)->u.parray)
#define V_BYREF(X) ((X)->u.byref)
#define V_UI1REF(X) ((X)->u.pbVal)
#define V_I2REF(X) ((X)->u.piVal)
#define V_I4REF(X) ((X)->u.plVal)
#define V_R8REF(X) ((X)->u.pdblVal)
#define V_BOOLREF(X) ((X)->u.pboolVal)
#define V_BSTRREF(X) ((X)->u.pbstrVal)
#define V_DISPATCHREF(X) ((X)->u.ppdispVal)
#define V_UNKNOWNREF(X) ((X)->u.ppunkVal)
#define V_VARIANTREF(X) ((X)->u.pvarVal)
#define V_ARRAYREF(X) ((X)->u.pparray)

/* VariantChangeType flags */
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02

/* ---- dispatch ----------------------------------------------------------- */

typedef struct DISPPARAMS {
    VARIANTARG *rgvarg; /* arguments in reverse order */
    DISPID *rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
} DISPPARAMS;

typedef struct EXCEPINFO EXCEPINFO;
struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void *pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO *);
    SCODE scode;
};

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8

#define DISPID_UNKNOWN (-1)
#define DISPID_VALUE 0
#define DISPID_PROPERTYPUT (-3)

#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800

/* ---- type information --------------------------------------------------- */

typedef enum TYPEKIND {
    TKIND_ENUM = 0,
    TKIND_RECORD,
    TKIND_MODULE,
    TKIND_INTERFACE,
    TKIND_DISPATCH,
    TKIND_COCLASS,
    TKIND_ALIAS,
    TKIND_UNION,
    TKIND_MAX
} TYPEKIND;

typedef enum FUNCKIND {
    FUNC_VIRTUAL = 0,
    FUNC_PUREVIRTUAL,
    FUNC_NONVIRTUAL,
    FUNC_STATIC,
    FUNC_DISPATCH
} FUNCKIND;

typedef enum INVOKEKIND {
    INVOKE_FUNC = 1,
    INVOKE_PROPERTYGET = 2,
    INVOKE_PROPERTYPUT = 4,
    INVOKE_PROPERTYPUTREF = 8
} INVOKEKIND;

typedef enum CALLCONV { CC_FASTCALL = 0, CC_CDECL = 1, CC_STDCALL = 4 } CALLCONV;

#define TYPEFLAG_FAPPOBJECT 0x1
#define TYPEFLAG_FCANCREATE 0x2
#define TYPEFLAG_FHIDDEN 0x10
#define TYPEFLAG_FPREDECLID 0x8
#define TYPEFLAG_FDUAL 0x40
#define TYPEFLAG_FNONEXTENSIBLE 0x80
#define TYPEFLAG_FOLEAUTOMATION 0x100
#define TYPEFLAG_FDISPATCHABLE 0x1000

#define PARAMFLAG_NONE 0x0
#define PARAMFLAG_FIN 0x1
#define PARAMFLAG_FOUT 0x2
#define PARAMFLAG_FRETVAL 0x8
#define PARAMFLAG_FOPT 0x10

typedef struct TYPEDESC TYPEDESC;
struct TYPEDESC {
    union {
        TYPEDESC *lptdesc; /* VT_PTR, VT_SAFEARRAY */
        void *lpadesc;
        DWORD hreftype;
    } u;
    VARTYPE vt;
};

typedef struct PARAMDESC {
    void *pparamdescex;
    USHORT wParamFlags;
} PARAMDESC;

typedef struct IDLDESC {
    ULONG *dwReserved;
    USHORT wIDLFlags;
} IDLDESC;

typedef struct ELEMDESC {
    TYPEDESC tdesc;
    union {
        IDLDESC idldesc;
        PARAMDESC paramdesc;
    } u;
} ELEMDESC;

typedef struct FUNCDESC {
    MEMBERID memid;
    SCODE *lprgscode;
    ELEMDESC *lprgelemdescParam;
    FUNCKIND funckind;
    INVOKEKIND invkind;
    CALLCONV callconv;
    SHORT cParams;
    SHORT cParamsOpt;
    SHORT oVft;
    SHORT cScodes;
    ELEMDESC elemdescFunc;
    WORD wFuncFlags;
} FUNCDESC;

typedef struct TYPEATTR {
    GUID guid;
    LCID lcid;
    DWORD dwReserved;
    MEMBERID memidConstructor;
    MEMBERID memidDestructor;
    LPOLESTR lpstrSchema;
    ULONG cbSizeInstance;
    TYPEKIND typekind;
    WORD cFuncs;
    WORD cVars;
    WORD cImplTypes;
    WORD cbSizeVft;
    WORD cbAlignment;
    WORD wTypeFlags;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    TYPEDESC tdescAlias;
    IDLDESC idldescType;
} TYPEATTR;

/* ---- interfaces ----------------------------------------------------------
 * TVX_DECLARE_INTERFACE_ gives an abstract class in C++ and, in C, a struct
 * holding a pointer to a table of function pointers whose first parameter
 * is the object. Inherited members are repeated in every body so that the C
 * table is complete; in C++ the repetition only restates the same slots.
 */
#ifdef __cplusplus
#define TVX_STDMETHOD(method) virtual HRESULT method
#define TVX_STDMETHOD_(type, method) virtual type method
#define TVX_PURE = 0
#define TVX_THIS_
#define TVX_THIS void
#define TVX_DECLARE_INTERFACE(iface) struct iface
#define TVX_DECLARE_INTERFACE_(iface, base) struct iface : public base
#define TVX_END_INTERFACE(iface) ;
#else
#define TVX_STDMETHOD(method) HRESULT (*method)
#define TVX_STDMETHOD_(type, method) type (*method)
#define TVX_PURE
#define TVX_THIS_ INTERFACE *This,
#define TVX_THIS INTERFACE *This
#define TVX_DECLARE_INTERFACE(iface)                                           \
    typedef struct iface iface;                                                \
    struct iface {                                                             \
        const struct iface##Vtbl *lpVtbl;                                      \
    };                                                                         \
    struct iface##Vtbl
#define TVX_DECLARE_INTERFACE_(iface, base) TVX_DECLARE_INTERFACE(iface)
#define TVX_END_INTERFACE(iface) ;
#endif

#define TVX_IUNKNOWN_METHODS                                                   \
    TVX_STDMETHOD(QueryInterface)(TVX_THIS_ REFIID riid, void **ppv) TVX_PURE; \
    TVX_STDMETHOD_(ULONG, AddRef)(TVX_THIS) TVX_PURE;                          \
    TVX_STDMETHOD_(ULONG, Release)(TVX_THIS) TVX_PURE;

#ifdef __cplusplus
struct ITypeInfo;
struct ITypeLib;
struct ITypeComp;
#else
typedef struct ITypeInfo ITypeInfo;
typedef struct ITypeLib ITypeLib;
typedef struct ITypeComp ITypeComp;
#endif

#define TVX_IDISPATCH_METHODS                                                  \
    TVX_STDMETHOD(GetTypeInfoCount)(TVX_THIS_ UINT * pctinfo) TVX_PURE;        \
    TVX_STDMETHOD(GetTypeInfo)                                                 \
    (TVX_THIS_ UINT iTInfo, LCID lcid, struct ITypeInfo **ppTInfo) TVX_PURE;   \
    TVX_STDMETHOD(GetIDsOfNames)                                               \
    (TVX_THIS_ REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID lcid,       \
     DISPID *rgDispId) TVX_PURE;                                               \
    TVX_STDMETHOD(Invoke)                                                      \
    (TVX_THIS_ DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,       \
     DISPPARAMS *pDispParams, VARIANT *pVarResult, EXCEPINFO *pExcepInfo,      \
     UINT *puArgErr) TVX_PURE;

#undef INTERFACE
#define INTERFACE IUnknown
TVX_DECLARE_INTERFACE(IUnknown){TVX_IUNKNOWN_METHODS} TVX_END_INTERFACE(IUnknown)

#undef INTERFACE
#define INTERFACE IDispatch
TVX_DECLARE_INTERFACE_(IDispatch, IUnknown){
    TVX_IUNKNOWN_METHODS TVX_IDISPATCH_METHODS} TVX_END_INTERFACE(IDispatch)

#undef INTERFACE
#define INTERFACE IClassFactory
TVX_DECLARE_INTERFACE_(IClassFactory, IUnknown){
    TVX_IUNKNOWN_METHODS
    TVX_STDMETHOD(CreateInstance)(TVX_THIS_ IUnknown *pUnkOuter, REFIID riid, void **ppv) TVX_PURE;
    TVX_STDMETHOD(LockServer)(TVX_THIS_ BOOL fLock) TVX_PURE;
} TVX_END_INTERFACE(IClassFactory)

#undef INTERFACE
#define INTERFACE IErrorInfo
TVX_DECLARE_INTERFACE_(IErrorInfo, IUnknown){
    TVX_IUNKNOWN_METHODS
    TVX_STDMETHOD(GetGUID)(TVX_THIS_ GUID *pGUID) TVX_PURE;
    TVX_STDMETHOD(GetSource)(TVX_THIS_ BSTR *pBstrSource) TVX_PURE;
    TVX_STDMETHOD(GetDescription)(TVX_THIS_ BSTR *pBstrDescription) TVX_PURE;
    TVX_STDMETHOD(GetHelpFile)(TVX_THIS_ BSTR *pBstrHelpFile) TVX_PURE;
    TVX_STDMETHOD(GetHelpContext)(TVX_THIS_ DWORD *pdwHelpContext) TVX_PURE;
} TVX_END_INTERFACE(IErrorInfo)

#undef INTERFACE
#define INTERFACE ICreateErrorInfo
TVX_DECLARE_INTERFACE_(ICreateErrorInfo, IUnknown){
    TVX_IUNKNOWN_METHODS
    TVX_STDMETHOD(SetGUID)(TVX_THIS_ REFGUID rguid) TVX_PURE;
    TVX_STDMETHOD(SetSource)(TVX_THIS_ LPOLESTR szSource) TVX_PURE;
    TVX_STDMETHOD(SetDescription)(TVX_THIS_ LPOLESTR szDescription) TVX_PURE;
    TVX_STDMETHOD(SetHelpFile)(TVX_THIS_ LPOLESTR szHelpFile) TVX_PURE;
    TVX_STDMETHOD(SetHelpContext)(TVX_THIS_ DWORD dwHelpContext) TVX_PURE;
} TVX_END_INTERFACE(ICreateErrorInfo)

#undef INTERFACE
#define INTERFACE ISupportErrorInfo
TVX_DECLARE_INTERFACE_(ISupportErrorInfo, IUnknown){
    TVX_IUNKNOWN_METHODS
    TVX_STDMETHOD(InterfaceSupportsErrorInfo)(TVX_THIS_ REFIID riid) TVX_PURE;
} TVX_END_INTERFACE(ISupportErrorInfo)

#undef INTERFACE
#define INTERFACE ITypeInfo
TVX_DECLARE_INTERFACE_(ITypeInfo, IUnknown){
    TVX_IUNKNOWN_METHODS
    TVX_STDMETHOD(GetTypeAttr)(TVX_THIS_ TYPEATTR **ppTypeAttr) TVX_PURE;
    TVX_STDMETHOD(GetTypeComp)(TVX_THIS_ struct ITypeComp **ppTComp) TVX_PURE;
    TVX_STDMETHOD(GetFuncDesc)(TVX_THIS_ UINT index, FUNCDESC **ppFuncDesc) TVX_PURE;
    TVX_STDMETHOD(GetVarDesc)(TVX_THIS_ UINT index, void **ppVarDesc) TVX_PURE;
    TVX_STDMETHOD(GetNames)(TVX_THIS_ MEMBERID memid, BSTR *rgBstrNames, UINT cMaxNames, UINT *pcNames) TVX_PURE;
    TVX_STDMETHOD(GetRefTypeOfImplType)(TVX_THIS_ UINT index, DWORD *pRefType) TVX_PURE;
    TVX_STDMETHOD(GetImplTypeFlags)(TVX_THIS_ UINT index, INT *pImplTypeFlags) TVX_PURE;
    TVX_STDMETHOD(GetIDsOfNames)(TVX_THIS_ LPOLESTR *rgszNames, UINT cNames, MEMBERID *pMemId) TVX_PURE;
    TVX_STDMETHOD(Invoke)(TVX_THIS_ void *pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS *pDispParams,
                          VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr) TVX_PURE;
    TVX_STDMETHOD(GetDocumentation)(TVX_THIS_ MEMBERID memid, BSTR *pBstrName, BSTR *pBstrDocString,
                                    DWORD *pdwHelpContext, BSTR *pBstrHelpFile) TVX_PURE;
    TVX_STDMETHOD(GetDllEntry)(TVX_THIS_ MEMBERID memid, INVOKEKIND invKind, BSTR *pBstrDllName,
                               BSTR *pBstrName, WORD *pwOrdinal) TVX_PURE;
    TVX_STDMETHOD(GetRefTypeInfo)(TVX_THIS_ DWORD hRefType, struct ITypeInfo **ppTInfo) TVX_PURE;
    TVX_STDMETHOD(AddressOfMember)(TVX_THIS_ MEMBERID memid, INVOKEKIND invKind, void **ppv) TVX_PURE;
    TVX_STDMETHOD(CreateInstance)(TVX_THIS_ IUnknown *pUnkOuter, REFIID riid, void **ppvObj) TVX_PURE;
    TVX_STDMETHOD(GetMops)(TVX_THIS_ MEMBERID memid, BSTR *pBstrMops) TVX_PURE;
    TVX_STDMETHOD(GetContainingTypeLib)(TVX_THIS_ struct ITypeLib **ppTLib, UINT *pIndex) TVX_PURE;
    TVX_STDMETHOD_(void, ReleaseTypeAttr)(TVX_THIS_ TYPEATTR *pTypeAttr) TVX_PURE;
    TVX_STDMETHOD_(void, ReleaseFuncDesc)(TVX_THIS_ FUNCDESC *pFuncDesc) TVX_PURE;
    TVX_STDMETHOD_(void, ReleaseVarDesc)(TVX_THIS_ void *pVarDesc) TVX_PURE;
} TVX_END_INTERFACE(ITypeInfo)

#undef INTERFACE

/* ---- well-known identifiers ---------------------------------------------- */

#define TVX_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)        \
    static const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

TVX_DEFINE_GUID(IID_NULL, 0x00000000, 0x0000, 0x0000, 0, 0, 0, 0, 0, 0, 0, 0);
TVX_DEFINE_GUID(IID_IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
TVX_DEFINE_GUID(IID_IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
TVX_DEFINE_GUID(IID_IDispatch, 0x00020400, 0x0000, 0x0000, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
TVX_DEFINE_GUID(IID_ITypeInfo, 0x00020401, 0x0000, 0x0000, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
TVX_DEFINE_GUID(IID_IErrorInfo, 0x1CF2B120, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19);
TVX_DEFINE_GUID(IID_ICreateErrorInfo, 0x22F03340, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1,
                0x19);
TVX_DEFINE_GUID(IID_ISupportErrorInfo, 0xDF0B3D60, 0x548F, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1,
                0x19);
TVX_DEFINE_GUID(IID_IPictureDisp, 0x7BF80981, 0xBF32, 0x101A, 0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB);

/* CLSCTX values accepted by the creation functions. */
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_ALL 0x17

/* The component's four exports. */
typedef HRESULT (*LPFNCANUNLOADNOW)(void);
typedef HRESULT (*LPFNGETCLASSOBJECT)(REFCLSID rclsid, REFIID riid, void **ppv);
typedef HRESULT (*LPFNREGISTERSERVER)(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TARVEX10_AUTOMATION_H */
