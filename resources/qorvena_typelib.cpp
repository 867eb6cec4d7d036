#include "host/kofax.h"
#include "platform/com/dispthunk.h"
#include "resources/qorvena_module.h"

namespace {

constexpr WORD kDual = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
constexpr WORD kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

constexpr ParamDescription kReturnValue[] = {{u"ret", VT_I4, kRetval}};
constexpr ParamDescription kReleaseDataOut[] = {{u"pVal", VT_DISPATCH, kRetval, &IReleaseData::iid}};
constexpr ParamDescription kReleaseDataIn[] = {{u"newVal", VT_DISPATCH, PARAMFLAG_FIN, &IReleaseData::iid}};
constexpr ParamDescription kSetupDataOut[] = {{u"pVal", VT_DISPATCH, kRetval, &IReleaseSetupData::iid}};
constexpr ParamDescription kSetupDataIn[] = {{u"newVal", VT_DISPATCH, PARAMFLAG_FIN, &IReleaseSetupData::iid}};
constexpr ParamDescription kActionEvent[] = {
    {u"ActionID", VT_I4, PARAMFLAG_FIN},
    {u"strInfo", VT_BSTR, PARAMFLAG_FIN},
    {u"strInfo2", VT_BSTR, PARAMFLAG_FIN},
    {u"ret", VT_I4, kRetval},
};

constexpr MemberDescription kReleaseScriptMembers[] = {
    {1, u"OpenScript", INVOKE_FUNC, kReturnValue, &DispatchMember<&IKfxReleaseScript::OpenScript>::Call},
    {2, u"ReleaseDoc", INVOKE_FUNC, kReturnValue, &DispatchMember<&IKfxReleaseScript::ReleaseDoc>::Call},
    {3, u"CloseScript", INVOKE_FUNC, kReturnValue, &DispatchMember<&IKfxReleaseScript::CloseScript>::Call},
    {4, u"DocumentData", INVOKE_PROPERTYGET, kReleaseDataOut,
     &DispatchMember<&IKfxReleaseScript::get_DocumentData>::Call},
    {4, u"DocumentData", INVOKE_PROPERTYPUTREF, kReleaseDataIn,
     &DispatchMember<&IKfxReleaseScript::putref_DocumentData>::Call},
};

constexpr MemberDescription kSetupScriptMembers[] = {
    {1, u"OpenScript", INVOKE_FUNC, kReturnValue, &DispatchMember<&IKfxReleaseSetupScript::OpenScript>::Call},
    {2, u"RunUI", INVOKE_FUNC, kReturnValue, &DispatchMember<&IKfxReleaseSetupScript::RunUI>::Call},
    {3, u"CloseScript", INVOKE_FUNC, kReturnValue, &DispatchMember<&IKfxReleaseSetupScript::CloseScript>::Call},
    {4, u"ActionEvent", INVOKE_FUNC, kActionEvent, &DispatchMember<&IKfxReleaseSetupScript::ActionEvent>::Call},
    {5, u"SetupData", INVOKE_PROPERTYGET, kSetupDataOut,
     &DispatchMember<&IKfxReleaseSetupScript::get_SetupData>::Call},
    {5, u"SetupData", INVOKE_PROPERTYPUTREF, kSetupDataIn,
     &DispatchMember<&IKfxReleaseSetupScript::putref_SetupData>::Call},
};

constexpr InterfaceDescription kInterfaces[] = {
    {IKfxReleaseScript::iid, u"IKfxReleaseScript", kDual, kReleaseScriptMembers, u"Release script"},
    {IKfxReleaseSetupScript::iid, u"IKfxReleaseSetupScript", kDual, kSetupScriptMembers, u"Release setup script"},
};

constexpr const IID* kExportConnectorInterfaces[] = {&IKfxReleaseScript::iid};
constexpr const IID* kSetupScriptInterfaces[] = {&IKfxReleaseSetupScript::iid};

constexpr CoClassDescription kCoClasses[] = {
    {CLSID_QorvenExportConnector, u"QorvenExportConnector", kExportConnectorInterfaces,
     u"QorvenExportConnector Class"},
    {CLSID_DodoSetupScript, u"DodoSetupScript", kSetupScriptInterfaces, u"DodoSetupScript Class"},
};

constexpr TypeLibDescription kLibrary{
    LIBID_qorvena, u"qorvena", u"qorvena 1.0 Type Library", 1, 0, 0x0409, 0, kInterfaces, kCoClasses};

}  // namespace

const TypeLibDescription* QorvenaTypeLibrary() { return &kLibrary; }
