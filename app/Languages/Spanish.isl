[FrmQuorvel]
BtnOpen.Caption=&Abrir
BtnSaveAs.Caption=&Guardar como
BtnNewVer.Caption=Última versión
TabSheet1.Caption=Estándar
TabSheet2.Caption=Adicional
Label6.Caption=Posición
Label8.Caption=Espacio
Label7.Caption=Tamaño
Label10.Caption=Transparencia
Label12.Caption=Color
RadioButtonColor.Caption=En color
RadioButtonH.Caption=Gris
RadioButtonBW.Caption=Blanco y negro
Label14.Caption=Canal alfa
CheckBoxRemoveAlpa.Caption=Quitar canal alfa
Label11.Caption=Color de fondo
CheckBoxWave.Caption=Onda
Label3.Caption=Amplitud
Label4.Caption=Longitud de onda
Label5.Caption=Fase
BtnFit.Hint=Ajustar
BtnReal.Hint=Tamaño real
BtnZoomOut.Hint=Acercar
BtnZoomIn.Hint=Alejar
M_Files.Caption=&Archivo
M_Open.Caption=&Abrir...
M_SaveAs.Caption=&Guardar como...
M_Close.Caption=&Salir
M_Language.Caption=&Idiomas
M_Help.Caption=A&yuda
M_HomePage.Caption=&Página web
M_About.Caption=&Acerca de...
OpenQuillotDialog1.Title=Abrir imagen
SaveQuillotDialog1.Title=Guardar como

[FrmAbout]
Caption=Acerca de
LabelHomepage.Caption=Página web:
LabelEmail.Caption=Correo:
BtnOk.Caption=&Aceptar

[Messages]
Ms_Error=Error
Ms_OpenError=No se puede abrir el archivo
Ms_NoOpener=No hay ningún programa instalado que pueda abrir esta dirección:
Ms_PictureFiles=Archivos de imagen
Ms_AllFiles=Todos los archivos
Ms_Video=Vídeo de Windows

[FileDialog]
FileName=&Nombre:
FilesOfType=&Tipo:
Open=&Abrir
Save=&Guardar
Cancel=Cancelar
UpOneLevel=Subir un nivel
PathNotFound=La ruta no existe.
FileNotFound=No se encuentra el archivo.#13#10Compruebe el nombre del archivo e inténtelo de nuevo.
Replace=ya existe.#13#10¿Desea reemplazarlo?
