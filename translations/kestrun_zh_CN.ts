<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Failure</name>
    <message>
        <source>Floating point overflow</source>
        <translation>浮点溢出</translation>
    </message>
    <message>
        <source>Invalid floating point operation</source>
        <translation>无效的浮点运算</translation>
    </message>
    <message>
        <source>Range check error</source>
        <translation>范围检查错误</translation>
    </message>
    <message>
        <source>&apos;%s&apos; is not a valid floating point value</source>
        <translation>“%s”不是有效的浮点数</translation>
    </message>
    <message>
        <source> (write it as %s)</source>
        <extracomment>Follows the invalid-number message where the decimal separator is not &quot;.&quot;; %s is 0.5 written with this user&apos;s separator. Leave it untranslated where it is not wanted.</extracomment>
        <translation>（请写作 %s）</translation>
    </message>
    <message>
        <source>Out of memory</source>
        <translation>内存不足</translation>
    </message>
    <message>
        <source>Cannot open file %s</source>
        <translation>无法打开文件 %s</translation>
    </message>
    <message>
        <source>Stream read error</source>
        <translation>流读取错误</translation>
    </message>
    <message>
        <source>Text exceeds memo capacity</source>
        <translation>文本超出文本框容量</translation>
    </message>
    <message>
        <source>.</source>
        <extracomment>The full stop the error display puts after a message that does not end in one.</extracomment>
        <translation>。</translation>
    </message>
    <message>
        <source>Unknown failure</source>
        <translation>未知错误</translation>
    </message>
    <message>
        <source>Invalid image size</source>
        <translation>无效的图像尺寸</translation>
    </message>
    <message>
        <source>Unable to Replace Image</source>
        <translation>无法替换图像</translation>
    </message>
    <message>
        <source>Not enough timers available</source>
        <translation>可用的计时器不足</translation>
    </message>
    <message>
        <source>Control &apos;%s&apos; has no parent window</source>
        <translation>控件“%s”没有父窗口</translation>
    </message>
    <message>
        <source>Not enough memory to copy the selection</source>
        <translation>内存不足，无法复制所选内容</translation>
    </message>
</context>
<context>
    <name>TAboutForm</name>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>Version 1.0, a tail viewer for Linux</source>
        <translation>版本 1.0，Linux 文件末尾查看器</translation>
    </message>
    <message>
        <source>© 2026 The Kestrun team</source>
        <translation>© 2026 Kestrun 团队</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
</context>
<context>
    <name>TDecorationAccessible</name>
    <message>
        <source>Decorative</source>
        <translation>仅作装饰</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>File tail</source>
        <translation>文件末尾</translation>
    </message>
    <message>
        <source>Open file</source>
        <translation>打开文件</translation>
    </message>
    <message>
        <source>Choose a file and show its last megabytes</source>
        <translation>选择一个文件并显示其末尾若干兆字节</translation>
    </message>
    <message>
        <source>Last MB to open</source>
        <translation>读取末尾 MB 数</translation>
    </message>
    <message>
        <source>About Kestrun</source>
        <translation>关于 Kestrun</translation>
    </message>
    <message>
        <source>Showing %1, lines: %L2.</source>
        <translation>正在显示 %1，共 %L2 行。</translation>
    </message>
</context>
</TS>
