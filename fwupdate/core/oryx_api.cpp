#include "fwupdate/core/oryx_api.h"

namespace kestrel::fwupdate {

OryxApi exportedOryx() {
    OryxApi api;
    api.init = mt_smInit;
    api.formatVol = mt_smFormatVol;
    api.getListNumDir = mt_smGetListNumDir;
    api.getSizeFile = mt_smGetSizeFile;
    api.removeFile = mt_smRemoveFile;
    api.createFile = mt_smCreateFile;
    api.fileExtend = mt_smFileExtend;
    api.writeFile = mt_smWriteFile;
    api.closeFile = mt_smCloseFile;
    api.readStat = mt_smReadStat;
    api.writeStat = mt_smWriteStat;
    api.readLC = usbcReadLC;
    api.writeLC = usbcWriteLC;
    api.close = usbcClose;
    return api;
}

}  // namespace kestrel::fwupdate
