#include "cutter/cutter.h"

#include "component/registry.h"

namespace tvx {

Cutter::Cutter() : ObjectBase(CutVideoClass()) {}

// ---- the member table ---------------------------------------------------------------------

const ClassInfo &CutVideoClass() {
    static const MemberInfo members[] = {
        FieldGet<&Cutter::FileType>(0x40030000, u"FileType"),
        FieldPut<&Cutter::FileType>(0x40030000, u"FileType"),
        FieldGet<&Cutter::picture_rate>(0x40030001, u"picture_rate"),
        FieldPut<&Cutter::picture_rate>(0x40030001, u"picture_rate"),
        FieldPutRef<&Cutter::picture_rate>(0x40030001, u"picture_rate"),
        FieldGet<&Cutter::startTime>(0x40030002, u"startTime"),
        FieldPut<&Cutter::startTime>(0x40030002, u"startTime"),
        FieldGet<&Cutter::timecorrect>(0x40030003, u"timecorrect"),
        FieldPut<&Cutter::timecorrect>(0x40030003, u"timecorrect"),
        FieldGet<&Cutter::confirmall>(0x40030004, u"confirmall"),
        FieldPut<&Cutter::confirmall>(0x40030004, u"confirmall"),
        Get<&Cutter::get_Buffer>(0x40030005, u"Buffer"),
        Put<&Cutter::put_Buffer>(0x40030005, u"Buffer"),
        FieldGet<&Cutter::Byterate>(0x40030006, u"Byterate"),
        FieldPut<&Cutter::Byterate>(0x40030006, u"Byterate"),
        FieldGet<&Cutter::EoF>(0x40030007, u"EoF"),
        FieldPut<&Cutter::EoF>(0x40030007, u"EoF"),
        FieldGet<&Cutter::VidSeqStart>(0x40030008, u"VidSeqStart"),
        FieldPut<&Cutter::VidSeqStart>(0x40030008, u"VidSeqStart"),
        FieldGet<&Cutter::VidSeqEnd>(0x40030009, u"VidSeqEnd"),
        FieldPut<&Cutter::VidSeqEnd>(0x40030009, u"VidSeqEnd"),
        FieldGet<&Cutter::startT>(0x4003000a, u"startT"),
        FieldPut<&Cutter::startT>(0x4003000a, u"startT"),
        FieldGet<&Cutter::startO>(0x4003000b, u"startO"),
        FieldPut<&Cutter::startO>(0x4003000b, u"startO"),
        FieldGet<&Cutter::stopO>(0x4003000c, u"stopO"),
        FieldPut<&Cutter::stopO>(0x4003000c, u"stopO"),
        FieldGet<&Cutter::stopT>(0x4003000d, u"stopT"),
        FieldPut<&Cutter::stopT>(0x4003000d, u"stopT"),
        FieldGet<&Cutter::TotalTime>(0x4003000e, u"TotalTime"),
        FieldPut<&Cutter::TotalTime>(0x4003000e, u"TotalTime"),
        FieldGet<&Cutter::Tmax>(0x4003000f, u"Tmax"),
        FieldPut<&Cutter::Tmax>(0x4003000f, u"Tmax"),
        FieldGet<&Cutter::Infd>(0x40030010, u"Infd"),
        FieldPut<&Cutter::Infd>(0x40030010, u"Infd"),
        FieldGet<&Cutter::OutFd>(0x40030011, u"OutFd"),
        FieldPut<&Cutter::OutFd>(0x40030011, u"OutFd"),
        FieldGet<&Cutter::FileSize>(0x40030012, u"FileSize"),
        FieldPut<&Cutter::FileSize>(0x40030012, u"FileSize"),
        FieldGet<&Cutter::start>(0x40030013, u"start"),
        FieldPut<&Cutter::start>(0x40030013, u"start"),
        FieldGet<&Cutter::EndO>(0x40030014, u"EndO"),
        FieldPut<&Cutter::EndO>(0x40030014, u"EndO"),
        FieldGet<&Cutter::MinimumCut>(0x40030015, u"MinimumCut"),
        FieldPut<&Cutter::MinimumCut>(0x40030015, u"MinimumCut"),
        FieldGet<&Cutter::FrameRate>(0x40030016, u"FrameRate"),
        FieldPut<&Cutter::FrameRate>(0x40030016, u"FrameRate"),
        FieldGet<&Cutter::Inpath>(0x40030017, u"Inpath"),
        FieldPut<&Cutter::Inpath>(0x40030017, u"Inpath"),
        Method<&Cutter::FillBuffer>(0x60030001, u"FillBuffer", u"off"),
        Method<&Cutter::CutVideo>(0x60030002, u"CutVideo", u"Inpath,OutPath,fromT,toT,TotalDuration"),
        Method<&Cutter::FindNextMarker>(0x60030003, u"FindNextMarker", u"off,mark"),
        Method<&Cutter::FindNext>(0x60030004, u"FindNext", u"off,mark"),
        Method<&Cutter::FindMark>(0x60030005, u"FindMark", u"off,mark"),
        Method<&Cutter::GetByte>(0x60030006, u"GetByte", u"off"),
        Method<&Cutter::EnsureMarker>(0x60030007, u"EnsureMarker", u"off,mark"),
        Method<&Cutter::FindVideoSeqHeader>(0x60030008, u"FindVideoSeqHeader", u"off"),
        Method<&Cutter::GetSize>(0x60030009, u"GetSize", u"off"),
        Method<&Cutter::ParseVidSeq>(0x6003000a, u"ParseVidSeq", u"off"),
        Method<&Cutter::BackwardFindBoundaries>(0x6003000b, u"BackwardFindBoundaries", u"from,packetstart,packetend"),
        Method<&Cutter::copy>(0x6003000c, u"copy", u"Infd,OutFd,from,toF"),
        Method<&Cutter::ReadGOPHeader>(0x6003000d, u"ReadGOPHeader", u"off,timestamp"),
        Method<&Cutter::CutPart>(0x6003000e, u"CutPart", u"begin,endT,filename"),
        Method<&Cutter::ReadPacketTS>(0x6003000f, u"ReadPacketTS", u"off,pts,dts"),
        Method<&Cutter::ReadTimeStamp>(0x60030010, u"ReadTimeStamp", u"off,timestamp"),
        Method<&Cutter::init>(0x60030011, u"init", u"Inpath"),
        Method<&Cutter::TimeToOffSets>(0x60030012, u"TimeToOffSets"),
        Method<&Cutter::Offset>(0x60030013, u"Offset", u"time,off"),
    };
    static const ClassInfo info(u"clsKwVidoCutVideoA", u"Tarvex10.clsKwVidoCutVideoA",
                                {0xc516e1c6, 0xb5b0, 0x4914, {0xbf, 0xab, 0xc2, 0x6b, 0x15, 0x14, 0x3d, 0xb6}},
                                {0x4457d803, 0x19e2, 0x40d5, {0x8f, 0x8c, 0x00, 0x54, 0xef, 0x22, 0x86, 0x1c}},
                                members, &CreateObject<Cutter>, &DestroyObject<Cutter>);
    return info;
}

} // namespace tvx
