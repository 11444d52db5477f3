<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ar">
<context>
    <name>Failure</name>
    <message>
        <source>Floating point overflow</source>
        <translation>فيض في الفاصلة العائمة</translation>
    </message>
    <message>
        <source>Invalid floating point operation</source>
        <translation>عملية فاصلة عائمة غير صالحة</translation>
    </message>
    <message>
        <source>Range check error</source>
        <translation>خطأ في التحقق من النطاق</translation>
    </message>
    <message>
        <source>&apos;%s&apos; is not a valid floating point value</source>
        <translation>القيمة «%s» ليست عددًا عشريًا صالحًا</translation>
    </message>
    <message>
        <source> (write it as %s)</source>
        <extracomment>Follows the invalid-number message where the decimal separator is not &quot;.&quot;; %s is 0.5 written with this user&apos;s separator. Leave it untranslated where it is not wanted.</extracomment>
        <translation> (اكتبه هكذا: %s)</translation>
    </message>
    <message>
        <source>Out of memory</source>
        <translation>نفدت الذاكرة</translation>
    </message>
    <message>
        <source>Cannot open file %s</source>
        <translation>تعذّر فتح الملف %s</translation>
    </message>
    <message>
        <source>Stream read error</source>
        <translation>خطأ في قراءة التدفق</translation>
    </message>
    <message>
        <source>Text exceeds memo capacity</source>
        <translation>النص يتجاوز سعة حقل النص</translation>
    </message>
    <message>
        <source>.</source>
        <extracomment>The full stop the error display puts after a message that does not end in one.</extracomment>
        <translation>.</translation>
    </message>
    <message>
        <source>Unknown failure</source>
        <translation>خطأ غير معروف</translation>
    </message>
    <message>
        <source>Invalid image size</source>
        <translation>حجم الصورة غير صالح</translation>
    </message>
    <message>
        <source>Unable to Replace Image</source>
        <translation>تعذّر استبدال الصورة</translation>
    </message>
    <message>
        <source>Not enough timers available</source>
        <translation>لا تتوفر مؤقّتات كافية</translation>
    </message>
    <message>
        <source>Control &apos;%s&apos; has no parent window</source>
        <translation>عنصر التحكم «%s» ليست له نافذة أم</translation>
    </message>
    <message>
        <source>Not enough memory to copy the selection</source>
        <translation>لا تكفي الذاكرة لنسخ التحديد</translation>
    </message>
</context>
<context>
    <name>TAboutForm</name>
    <message>
        <source>About</source>
        <translation>حول</translation>
    </message>
    <message>
        <source>Version 1.0, a tail viewer for Linux</source>
        <translation>الإصدار 1.0، عارض نهايات الملفات على لينكس</translation>
    </message>
    <message>
        <source>© 2026 The Kestrun team</source>
        <translation>© 2026 فريق Kestrun</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>موافق</translation>
    </message>
</context>
<context>
    <name>TDecorationAccessible</name>
    <message>
        <source>Decorative</source>
        <translation>زخرفة فقط</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>File tail</source>
        <translation>نهاية الملف</translation>
    </message>
    <message>
        <source>Open file</source>
        <translation>فتح ملف</translation>
    </message>
    <message>
        <source>Choose a file and show its last megabytes</source>
        <translation>اختر ملفًا واعرض آخر ميغابايتات منه</translation>
    </message>
    <message>
        <source>Last MB to open</source>
        <translation>ميغابايت من النهاية</translation>
    </message>
    <message>
        <source>About Kestrun</source>
        <translation>حول Kestrun</translation>
    </message>
    <message>
        <source>Showing %1, lines: %L2.</source>
        <translation>المعروض: %1، عدد الأسطر: %L2.</translation>
    </message>
</context>
</TS>
