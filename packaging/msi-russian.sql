# The installer's texts that a technician sees, in Russian. wixl stores only ASCII in the
# installer's tables, so lumivo24.wxs gives them in English and scripts/lib/msi.sh replaces them
# with these after switching the database to code page 1251. One query a line; the rows are
# found by the ids and texts of lumivo24.wxs.
UPDATE `Shortcut` SET `Description` = 'Настройка контроллера лестничного освещения LUMIVO24' WHERE `Shortcut` = 'StartMenuShortcut'
UPDATE `Shortcut` SET `Name` = 'Командная строка LUMIVO24', `Arguments` = '/k "title Командная строка LUMIVO24& set "PATH=[INSTALLDIR];%PATH%"& lumivo24-cli --help"', `Description` = 'Командная строка, в которой команда lumivo24-cli работает без пути' WHERE `Shortcut` = 'CommandLineShortcut'
UPDATE `Shortcut` SET `Name` = 'Руководство LUMIVO24', `Description` = 'Руководство техника: установка, поиск контроллера, настройки, неполадки' WHERE `Shortcut` = 'GuideShortcut'
UPDATE `Property` SET `Value` = 'Настройка контроллера лестничного освещения LUMIVO24' WHERE `Property` = 'ARPCOMMENTS'
UPDATE `LaunchCondition` SET `Description` = 'Уже установлена более новая версия LUMIVO24.' WHERE `Condition` = 'NOT LUMIVO_NEWER_INSTALLED'
UPDATE `Registry` SET `Value` = 'Настройки LUMIVO24' WHERE `Value` = 'LUMIVO24 settings'
