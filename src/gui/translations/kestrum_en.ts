<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>kestrum</name>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>软件版本： V%1</source>
        <translation>Version: V%1</translation>
    </message>
    <message>
        <source>找不到 %1</source>
        <translation>%1 was not found</translation>
    </message>
    <message>
        <source>没有得到管理员权限。</source>
        <translation>Administrator rights were not given.</translation>
    </message>
    <message>
        <source>Varnel数据恢复</source>
        <translation>Varnel Data Recovery</translation>
    </message>
    <message>
        <source>误删除文件 · 分区文件 · 丢失分区 —— 只读恢复，安全可靠</source>
        <translation>Deleted files · Partition files · Lost partitions — read-only, safe recovery</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>创建日期</source>
        <translation>Created</translation>
    </message>
    <message>
        <source>修改日期</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>恢复可能性</source>
        <translation>Recovery Chance</translation>
    </message>
    <message>
        <source>请至少选择一个需要导出的目录和文件!</source>
        <translation>Please tick at least one folder or file to export!</translation>
    </message>
    <message>
        <source>导出文件成功！</source>
        <translation>The files were exported!</translation>
    </message>
    <message>
        <source>导出文件失败！</source>
        <translation>Exporting the files failed!</translation>
    </message>
    <message>
        <source>所选的文件夹位于正在恢复数据的设备上。
向这个设备写入文件，可能会覆盖尚未恢复的已删除数据，使其再也无法恢复。
建议选择其他磁盘上的文件夹。仍然要导出到这个文件夹吗？</source>
        <translation>The chosen folder is on the device whose data is being recovered.
Writing files to this device may overwrite deleted data not recovered yet, which then can never be recovered.
Choosing a folder on another disk is recommended. Export to this folder anyway?</translation>
    </message>
    <message>
        <source>恢复误删除的文件</source>
        <translation>Recover Deleted Files</translation>
    </message>
    <message>
        <source>从分区中恢复误删除的文件。适用于文件被删除并且没有写入新文件的情况。</source>
        <translation>Recover the deleted files of a partition. For files that were deleted while no new files were written since.</translation>
    </message>
    <message>
        <source>浏览恢复分区的文件</source>
        <translation>Browse a Partition</translation>
    </message>
    <message>
        <source>尝试浏览分区上的文件，适用于分区出现坏道、变成RAW(提示格式化)、无法打开时恢复分区上的文件。</source>
        <translation>Browse the files of a partition: for partitions with bad sectors, partitions that turned RAW (asking to be formatted) or will not open.</translation>
    </message>
    <message>
        <source>搜索恢复分区的文件</source>
        <translation>Search a Partition</translation>
    </message>
    <message>
        <source>搜索整个分区上的文件，浏览恢复分区文件的功能不可用时使用此功能。</source>
        <translation>Search a whole partition for files, when browsing the partition does not work.</translation>
    </message>
    <message>
        <source>搜索恢复磁盘的文件</source>
        <translation>Search a Disk</translation>
    </message>
    <message>
        <source>搜索整个磁盘上的文件，分区丢失时使用此功能。</source>
        <translation>Search a whole disk for files, when its partitions are lost.</translation>
    </message>
    <message>
        <source>恢复丢失的分区</source>
        <translation>Recover Lost Partitions</translation>
    </message>
    <message>
        <source>搜索丢失的分区，通过重建分区表，完美恢复丢失的分区及分区内数据。</source>
        <translation>Search for lost partitions and rebuild the partition table, bringing back the partitions with their data.</translation>
    </message>
    <message>
        <source>关于本软件</source>
        <translation>About</translation>
    </message>
    <message>
        <source>软件版权、版本等信息。</source>
        <translation>Copyright, version and more about the program.</translation>
    </message>
    <message>
        <source>选择路径</source>
        <translation>Choose a Folder</translation>
    </message>
    <message>
        <source>打开镜像文件</source>
        <translation>Open Image File</translation>
    </message>
    <message>
        <source>磁盘镜像 (*.img *.dd *.raw *.bin *.iso *.vhd);;所有文件 (*)</source>
        <translation>Disk images (*.img *.dd *.raw *.bin *.iso *.vhd);;All files (*)</translation>
    </message>
    <message>
        <source>路径</source>
        <translation>Path</translation>
    </message>
    <message>
        <source>大</source>
        <translation>XL</translation>
    </message>
    <message>
        <source>良好</source>
        <translation>Good</translation>
    </message>
    <message>
        <source>部分覆盖</source>
        <translation>Partly overwritten</translation>
    </message>
    <message>
        <source>已覆盖</source>
        <translation>Overwritten</translation>
    </message>
    <message>
        <source>未知</source>
        <translation>Unknown</translation>
    </message>
    <message>
        <source>未验证</source>
        <translation>Unverified</translation>
    </message>
    <message>
        <source>创建镜像文件</source>
        <translation>Create an image file</translation>
    </message>
    <message>
        <source>磁盘镜像 (*.img);;所有文件 (*)</source>
        <translation>Disk images (*.img);;All files (*)</translation>
    </message>
</context>
<context>
    <name>kestrum::CAboutDlg</name>
    <message>
        <source>关于 Varnel数据恢复</source>
        <translation>About Varnel Data Recovery</translation>
    </message>
    <message>
        <source>软件名称：Varnel数据恢复-免费版</source>
        <translation>Program: Varnel Data Recovery - Free Edition</translation>
    </message>
    <message>
        <source>恢复时只读取源磁盘，从不向其写入数据。
请把恢复出的文件保存到其他磁盘。</source>
        <translation>Recovery only reads the source disk and never writes to it.
Please save the recovered files on another disk.</translation>
    </message>
    <message>
        <source>版权所有 (C) Varnel数据恢复 开发组</source>
        <translation>Copyright (C) the Varnel Data Recovery developers</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>kestrum::CDevSelDlg</name>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>下一步</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>上一步</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>打开镜像文件</source>
        <translation>Open Image File</translation>
    </message>
    <message>
        <source>以管理员身份重新启动</source>
        <translation>Restart as Administrator</translation>
    </message>
    <message>
        <source>无法以管理员身份重新启动：%1</source>
        <translation>Could not restart as administrator: %1</translation>
    </message>
    <message>
        <source>获取设备信息失败!</source>
        <translation>Could not read the devices!</translation>
    </message>
    <message>
        <source>未发现分区！</source>
        <translation>No partition found!</translation>
    </message>
    <message>
        <source>未发现磁盘设备，请确定磁盘设备正确连接电脑，然后点击刷新按钮!</source>
        <translation>No disk found. Make sure the disk is connected to the computer properly, then press Refresh!</translation>
    </message>
    <message>
        <source>请选择一个分区</source>
        <translation>Please select a partition</translation>
    </message>
    <message>
        <source>请选择一个磁盘</source>
        <translation>Please select a disk</translation>
    </message>
    <message>
        <source>读取分区的文件系统失败：%1</source>
        <translation>Reading the partition&apos;s file system failed: %1</translation>
    </message>
    <message>
        <source>创建镜像文件…</source>
        <translation>Create Image File…</translation>
    </message>
    <message>
        <source>-镜像.img</source>
        <translation>-image.img</translation>
    </message>
    <message>
        <source>镜像文件创建完成！
</source>
        <translation>The image file is complete!
</translation>
    </message>
    <message>
        <source>镜像文件尚未完成。
</source>
        <translation>The image file is not complete yet.
</translation>
    </message>
</context>
<context>
    <name>kestrum::CDiskScanSetDlg</name>
    <message>
        <source>设置搜索参数</source>
        <translation>Search Settings</translation>
    </message>
    <message>
        <source>优先搜索地址：</source>
        <translation>Search first from:</translation>
    </message>
    <message>
        <source>优先搜索大小：</source>
        <translation>Size to search first:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>kestrum::CExplorerListCtrl</name>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>图标</source>
        <translation>Icons</translation>
    </message>
    <message>
        <source>列表</source>
        <translation>List</translation>
    </message>
    <message>
        <source>细节</source>
        <translation>Details</translation>
    </message>
</context>
<context>
    <name>kestrum::CFdrDlg</name>
    <message>
        <source>上一步</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>向上</source>
        <translation>Up</translation>
    </message>
    <message>
        <source>全选</source>
        <translation>Tick All</translation>
    </message>
    <message>
        <source>全取消</source>
        <translation>Untick All</translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>预览</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>预览窗格</source>
        <translation>Preview pane</translation>
    </message>
    <message>
        <source>没有符合筛选条件的文件或目录</source>
        <translation>No file or folder matches the filter</translation>
    </message>
    <message>
        <source>在整个分区中找到 %1 项</source>
        <translation>%1 items found in the whole partition</translation>
    </message>
</context>
<context>
    <name>kestrum::CFilterBar</name>
    <message>
        <source>名称（可用 * 和 ?）</source>
        <translation>Name (* and ? allowed)</translation>
    </message>
    <message>
        <source>全部类型</source>
        <translation>All types</translation>
    </message>
    <message>
        <source>最小，如 10K</source>
        <translation>Min: 10K</translation>
    </message>
    <message>
        <source>最大，如 2M</source>
        <translation>Max: 2M</translation>
    </message>
    <message>
        <source>从，如 2024-06-01</source>
        <translation>From 2024-06-01</translation>
    </message>
    <message>
        <source>到，如 2024-08-31</source>
        <translation>To 2024-08-31</translation>
    </message>
    <message>
        <source>只显示已删除</source>
        <translation>Deleted only</translation>
    </message>
    <message>
        <source>任何恢复可能性</source>
        <translation>Any recovery chance</translation>
    </message>
    <message>
        <source>清除筛选</source>
        <translation>Clear filter</translation>
    </message>
    <message>
        <source>查找：</source>
        <translation>Find:</translation>
    </message>
    <message>
        <source>大小：</source>
        <translation>Size:</translation>
    </message>
    <message>
        <source>修改日期：</source>
        <translation>Modified:</translation>
    </message>
    <message>
        <source>无法识别的大小：%1（例如 500、10K、1.5M、2G）</source>
        <translation>Not a size: %1 (for example 500, 10K, 1.5M, 2G)</translation>
    </message>
    <message>
        <source>无法识别的日期：%1（例如 2024-06-30）</source>
        <translation>Not a date: %1 (for example 2024-06-30)</translation>
    </message>
</context>
<context>
    <name>kestrum::CKestrumApp</name>
    <message>
        <source>--lang 只能是 zh 或 en</source>
        <translation>--lang takes zh or en</translation>
    </message>
    <message>
        <source>用法：kestrum [--lang zh|en] [--images-only] [IMAGE...]
  IMAGE          作为磁盘加入的磁盘或分区镜像文件
  --images-only  只列出给出的镜像，不列出本机的磁盘
  --lang zh|en   界面语言：中文或英文（默认按系统区域设置）
</source>
        <translation>usage: kestrum [--lang zh|en] [--images-only] [IMAGE...]
  IMAGE          a disk or volume image file, added as a disk
  --images-only  list only the given images, not the machine&apos;s disks
  --lang zh|en   the language of the window: Chinese or English (default: the locale&apos;s)
</translation>
    </message>
</context>
<context>
    <name>kestrum::CKestrumDlg</name>
    <message>
        <source>Varnel数据恢复-免费版</source>
        <translation>Varnel Data Recovery - Free Edition</translation>
    </message>
</context>
<context>
    <name>kestrum::CPartFixDlg</name>
    <message>
        <source>撤销重建操作</source>
        <translation>Undo a Rebuild</translation>
    </message>
    <message>
        <source>重建分区表</source>
        <translation>Rebuild Partition Table</translation>
    </message>
    <message>
        <source>上一步</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>请至少选择一个分区!</source>
        <translation>Please select at least one partition!</translation>
    </message>
    <message>
        <source>无法更新修复历史记录！</source>
        <translation>Could not update the repair history!</translation>
    </message>
</context>
<context>
    <name>kestrum::CPreviewPane</name>
    <message>
        <source>选择一个文件即可预览</source>
        <translation>Select a file to preview it</translation>
    </message>
    <message>
        <source>大小：%1 字节</source>
        <translation>Size: %1 bytes</translation>
    </message>
    <message>
        <source>    恢复可能性：</source>
        <translation>    Recovery chance: </translation>
    </message>
    <message>
        <source>空文件</source>
        <translation>Empty file</translation>
    </message>
    <message>
        <source>正在读取…</source>
        <translation>Reading…</translation>
    </message>
    <message>
        <source>前 %1 字节（十六进制）</source>
        <translation>The first %1 bytes (hexadecimal)</translation>
    </message>
    <message>
        <source>无法读取文件内容：</source>
        <translation>The file&apos;s content could not be read: </translation>
    </message>
    <message>
        <source>
图片 </source>
        <translation>
Picture </translation>
    </message>
    <message>
        <source>图片尺寸过大（%1），不解码；</source>
        <translation>The picture is too large (%1) to decode; </translation>
    </message>
    <message>
        <source>图片已损坏，无法显示；</source>
        <translation>The picture is damaged and cannot be shown; </translation>
    </message>
    <message>
        <source>
文本，编码 </source>
        <translation>
Text, encoding </translation>
    </message>
    <message>
        <source>，只显示开头的 %1 KiB</source>
        <translation>, only the first %1 KiB shown</translation>
    </message>
</context>
<context>
    <name>kestrum::CProgressDlg</name>
    <message>
        <source>请稍候 - %1</source>
        <translation>Please wait - %1</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
</context>
<context>
    <name>kestrum::CUnFixPartDlg</name>
    <message>
        <source>设备描述</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>请选择一个操作记录！</source>
        <translation>Please select a record!</translation>
    </message>
    <message>
        <source>只能选择一个操作记录！</source>
        <translation>Select only one record!</translation>
    </message>
</context>
</TS>
