<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Tovik</name>
    <message>
        <source>Input Files@Output Files@</source>
        <translation>输入文件@输出文件@</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>进度</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>No Subpicture</source>
        <translation>无字幕</translation>
    </message>
    <message>
        <source>Subpicture [%d]</source>
        <translation>字幕 [%d]</translation>
    </message>
    <message>
        <source>Audio Stream [%x]</source>
        <translation>音频流 [%x]</translation>
    </message>
    <message>
        <source>Language [%d]</source>
        <translation>语言 [%d]</translation>
    </message>
    <message>
        <source>Angle [%d]</source>
        <translation>角度 [%d]</translation>
    </message>
    <message>
        <source>Output From %s to %s</source>
        <translation>从 %s 输出到 %s</translation>
    </message>
    <message>
        <source>Failure to output!</source>
        <translation>输出失败！</translation>
    </message>
    <message>
        <source>Success to output!</source>
        <translation>输出成功！</translation>
    </message>
    <message>
        <source>System is processing , please wait for a little... ...!</source>
        <translation>系统正在处理，请稍候……</translation>
    </message>
    <message>
        <source>Succeded ,but NOT finished to output!</source>
        <translation>输出成功，但没有完成！</translation>
    </message>
    <message>
        <source>System is int process of quiting , please wait for a little... ...!</source>
        <translation>系统正在退出，请稍候……</translation>
    </message>
    <message>
        <source>Any Angle</source>
        <translation>任意角度</translation>
    </message>
    <message>
        <source>english.lcd</source>
        <translation>english.lcd</translation>
    </message>
    <message>
        <source>Please Select Output Path</source>
        <translation>请选择输出路径</translation>
    </message>
    <message>
        <source>Fennick - DVD to MPEG-1</source>
        <translation>Fennick - DVD 转 MPEG-1</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>预览</translation>
    </message>
    <message>
        <source>Width</source>
        <translation>宽度</translation>
    </message>
    <message>
        <source>Height</source>
        <translation>高度</translation>
    </message>
    <message>
        <source>Primal Image Size</source>
        <translation>原始图像大小</translation>
    </message>
    <message>
        <source>Frame Rate</source>
        <translation>帧率</translation>
    </message>
    <message>
        <source>Layer</source>
        <translation>层</translation>
    </message>
    <message>
        <source>BitRate</source>
        <translation>码率</translation>
    </message>
    <message>
        <source>Data rate</source>
        <translation>数据率</translation>
    </message>
    <message>
        <source>MPEG file with VCD format</source>
        <translation>VCD 格式的 MPEG 文件</translation>
    </message>
    <message>
        <source>Shutdown when completed</source>
        <translation>完成后关机</translation>
    </message>
    <message>
        <source>Subpic</source>
        <translation>字幕</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>Angle</source>
        <translation>角度</translation>
    </message>
    <message>
        <source>Sub Picture</source>
        <translation>字幕</translation>
    </message>
    <message>
        <source>Layer I</source>
        <translation>第一层</translation>
    </message>
    <message>
        <source>Layer II</source>
        <translation>第二层</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>打开</translation>
    </message>
    <message>
        <source>Select  Output Path</source>
        <translation>选择输出路径</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Stop playing</source>
        <translation>停止播放</translation>
    </message>
    <message>
        <source>Loop</source>
        <translation>循环</translation>
    </message>
    <message>
        <source>Select Start Point</source>
        <translation>选择起点</translation>
    </message>
    <message>
        <source>Select End Point</source>
        <translation>选择终点</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>输出</translation>
    </message>
    <message>
        <source>Stop outputing</source>
        <translation>停止输出</translation>
    </message>
    <message>
        <source>Delete selected item</source>
        <translation>删除所选项</translation>
    </message>
    <message>
        <source>Delete all</source>
        <translation>全部删除</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Control</source>
        <translation>控制(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>打开(&amp;O)</translation>
    </message>
    <message>
        <source>Select Output path</source>
        <translation>选择输出路径</translation>
    </message>
    <message>
        <source>Delete selected item</source>
        <translation>删除所选项</translation>
    </message>
    <message>
        <source>Delete all items</source>
        <translation>删除所有项</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>退出(&amp;X)</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Stop play</source>
        <translation>停止播放</translation>
    </message>
    <message>
        <source>Loop</source>
        <translation>循环</translation>
    </message>
    <message>
        <source>Start point</source>
        <translation>起点</translation>
    </message>
    <message>
        <source>End point</source>
        <translation>终点</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>输出</translation>
    </message>
    <message>
        <source>Stop output</source>
        <translation>停止输出</translation>
    </message>
    <message>
        <source>Video Handle</source>
        <translation>视频处理</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>Simplified Chinese</source>
        <translation>简体中文</translation>
    </message>
    <message>
        <source>Traditional Chinese</source>
        <translation>繁體中文</translation>
    </message>
    <message>
        <source>Change Selected OutFilename</source>
        <translation>更改所选输出文件名</translation>
    </message>
    <message>
        <source>Change Selected OutPath</source>
        <translation>更改所选输出路径</translation>
    </message>
    <message>
        <source>Video Handle</source>
        <translation>视频处理</translation>
    </message>
    <message>
        <source>Fast Speed</source>
        <translation>快速</translation>
    </message>
    <message>
        <source>MMX Accelerator</source>
        <translation>MMX 加速</translation>
    </message>
    <message>
        <source>High Quality</source>
        <translation>高质量</translation>
    </message>
    <message>
        <source>Enable Smooth Zoom</source>
        <translation>启用平滑缩放</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Notice:Only change Selected OutFilename</source>
        <translation>注意：只更改所选的输出文件名</translation>
    </message>
    <message>
        <source>Please Input Filename(*.MPG]</source>
        <translation>请输入文件名(*.MPG)</translation>
    </message>
    <message>
        <source>VOB File(*.VOB)@All Files(*)@</source>
        <translation>VOB 文件(*.VOB)@所有文件(*)@</translation>
    </message>
    <message>
        <source>Fennick %s: converts DVD and MPEG files to MPEG-1 and Video CD.</source>
        <translation>Fennick %s：把 DVD 和 MPEG 文件转换为 MPEG-1 和 VCD。</translation>
    </message>
    <message>
        <source>fennick: no display; use "fennick convert" or set DISPLAY</source>
        <translation>fennick：没有显示器；请使用 "fennick convert" 或设置 DISPLAY</translation>
    </message>
</context>
</TS>
